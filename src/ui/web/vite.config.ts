import preact from '@preact/preset-vite';
import { readFileSync } from 'node:fs';
import { resolve } from 'node:path';
import type { Plugin } from 'vite';
import { defineConfig } from 'vitest/config';
import { ASSET_PATHS } from './src/assets';

// Copies exactly the listed assets from public/ under their own names (public/ also holds the
// font licence, which does not belong in the built page), and drops the crossorigin attributes
// that Vite puts on the script and style sheet tags: the page's own origin has no use for them.
// (The font preloads keep theirs: fonts are fetched in CORS mode, and a preload must match.)
function page_assets(): Plugin {
  return {
    name: 'corvane-page-assets',
    apply: 'build',
    generateBundle() {
      for (const path of ASSET_PATHS) {
        this.emitFile({ type: 'asset', fileName: path, source: readFileSync(resolve(__dirname, 'public', path)) });
      }
    },
    transformIndexHtml(html) {
      return html.replace(/(<(?:script|link rel="stylesheet")[^>]*?) crossorigin/g, '$1');
    },
  };
}

export default defineConfig({
  base: './',
  plugins: [preact({ prefreshEnabled: false, devtoolsInProd: false }), page_assets()],
  build: {
    outDir: 'dist',
    emptyOutDir: true,
    copyPublicDir: false,
    cssCodeSplit: false,
    assetsInlineLimit: 0,
    modulePreload: false,
    reportCompressedSize: false,
    rollupOptions: {
      output: {
        entryFileNames: 'app.js',
        assetFileNames: (info) => (info.names.some((n) => n.endsWith('.css')) ? 'app.css' : '[name][extname]'),
        inlineDynamicImports: true,
      },
    },
  },
  test: {
    include: ['test/**/*.test.{ts,tsx}'],
    environment: 'node',
  },
});
