// The window host's test page. Like the setup's page it draws nothing until the native side's
// "init" has arrived, then draws its content and says "show" at once, without waiting for a frame;
// it then keeps the web process busy for 400 ms, so that its first frame comes well after "show".
// It keeps every message it gets in window.__received.
window.__received = [];
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
