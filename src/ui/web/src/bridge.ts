// The web view's message bridge: `window.chrome.webview`. Absent in an ordinary browser, where
// the page sends nothing and never leaves the loading state.

export interface WebViewBridge {
  postMessage(message: string): void;
  addEventListener(type: 'message', listener: (event: { data: unknown }) => void): void;
}

declare global {
  interface Window {
    chrome?: { webview?: WebViewBridge };
  }
}

export function find_bridge(): WebViewBridge | undefined {
  return window.chrome?.webview;
}
