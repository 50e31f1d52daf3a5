// The files the built page consists of besides index.html, app.js and app.css: exactly the paths
// the native resource server knows. The build copies these from public/ and nothing else.
export const ASSET_PATHS: readonly string[] = [
  'videos/hero.mp4',
  'images/hero.jpg',
  'images/logo.svg',
  'images/close.svg',
  'images/minimize.svg',
  'images/edit.svg',
  'images/check.svg',
  'images/download.svg',
  'images/ring-1.svg',
  'images/ring-2.svg',
  'images/ring-3.svg',
  'images/ring-1-green.svg',
  'images/ring-2-green.svg',
  'images/ring-3-green.svg',
  'fonts/onest-cyrillic-400.woff2',
  'fonts/onest-latin-400.woff2',
  'fonts/onest-cyrillic-500.woff2',
  'fonts/onest-latin-500.woff2',
  'fonts/onest-cyrillic-600.woff2',
  'fonts/onest-latin-600.woff2',
];
