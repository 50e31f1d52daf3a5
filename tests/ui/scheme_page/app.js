// Runs only if the module script itself was served with a type WebKit accepts; reports what
// fetch() sees of the scheme's answers to the test through its message handler.
const answer = async (path, init) => {
  const response = await fetch(path, init);
  const body = await response.arrayBuffer();
  return { status: response.status, length: body.byteLength, type: response.headers.get('Content-Type') };
};
const results = {
  range: await answer('videos/hero.mp4', { headers: { Range: 'bytes=0-0' } }),
  query: await answer('app.js?v=2'),
  fragment: await answer('app.js#top'),
  bare: await answer('./'),
  wrongCase: await answer('Index.html'),
  missing: await answer('images/logo.svg'),
};
window.webkit.messageHandlers.report.postMessage(JSON.stringify(results));
