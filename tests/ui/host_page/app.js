// The window host's test page. Like the setup's page it draws nothing until the native side's
// "init" has arrived, then draws its content and says "show" at once, without waiting for a frame;
// it then keeps the web process busy for 400 ms, so that its first frame comes well after "show".
// It keeps every message it gets in window.__received, the keys that reach it in window.__keys,
// what the Content-Security-Policy refused in window.__violations, and the status of a request of
// its own origin in window.__ownRequest.
window.__received = [];
window.__keys = [];
window.__violations = [];
document.addEventListener('securitypolicyviolation', (e) => window.__violations.push(e.effectiveDirective));
document.addEventListener('keydown', (e) => window.__keys.push(e.key));
fetch('app.css').then((r) => { window.__ownRequest = r.status; }, () => { window.__ownRequest = 'failed'; });
const bridge = window.chrome && window.chrome.webview;
if (bridge) {
  bridge.addEventListener('message', (event) => {
    window.__received.push(event.data);
    if (event.data && event.data.type === 'init' && !document.querySelector('.band')) {
      document.body.insertAdjacentHTML('beforeend', '<div class="band"></div><p>Страница для проверки окна</p>');
      bridge.postMessage('show');
      const until = performance.now() + 400;
      while (performance.now() < until) {
        // a slow first frame
      }
    }
  });
  bridge.postMessage('ready');
}
