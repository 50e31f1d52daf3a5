// Holds the page state, sends the commands that `step` produces and tells the view to redraw.
import { initial_state, type PageEvent, type PageState, step } from './state';

export interface Store {
  get(): PageState;
  dispatch(event: PageEvent): void;
  subscribe(listener: () => void): () => void;
  /** Sends the commands that wait for the current state to be drawn; the view calls it after each commit. */
  flush_after_render(): void;
}

/** `send` receives each command text; it may do nothing (no bridge). */
export function create_store(send: (text: string) => void, state: PageState = initial_state()): Store {
  const listeners = new Set<() => void>();
  let pending: string[] = [];
  return {
    get: () => state,
    dispatch(event) {
      const result = step(state, event);
      if (result.sendAfterRender) pending.push(result.sendAfterRender);
      if (result.state !== state) {
        state = result.state;
        for (const listener of listeners) listener();
      }
      if (result.send) send(result.send);
    },
    subscribe(listener) {
      listeners.add(listener);
      return () => listeners.delete(listener);
    },
    flush_after_render() {
      if (pending.length === 0) return;
      const texts = pending;
      pending = [];
      for (const text of texts) send(text);
    },
  };
}
