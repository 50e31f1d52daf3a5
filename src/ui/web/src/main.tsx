// Start-up: draw the (still empty) page, listen to the native side, then announce "ready".
import { render } from 'preact';
import './app.css';
import { App } from './app';
import { find_bridge } from './bridge';
import { is_reload_key } from './keys';
import { create_store } from './store';

const bridge = find_bridge();
const store = create_store((text) => bridge?.postMessage(text));

document.addEventListener('contextmenu', (e) => e.preventDefault());
document.addEventListener('keydown', (e) => {
  if (is_reload_key(e)) e.preventDefault();
});

render(<App store={store} />, document.getElementById('app')!);

if (bridge) {
  bridge.addEventListener('message', (e) => store.dispatch({ kind: 'message', data: e.data, now: performance.now() }));
  bridge.postMessage('ready');
}
