import { defineConfig } from 'vitest/config';

// Browser tests of the built page (dist/) in Debian's Chromium; run after `npm run build`.
export default defineConfig({
  test: {
    include: ['e2e/**/*.e2e.ts'],
    environment: 'node',
    fileParallelism: false,
    testTimeout: 90000,
    hookTimeout: 30000,
  },
});
