// The page: the hero and the current screen, drawn from the store's state.
import { useLayoutEffect, useRef, useState } from 'preact/hooks';
import { announcement } from './announce';
import { Hero } from './hero';
import { hero_layout, hero_tone, slogan_top } from './layout';
import { ScreenSwitch } from './screen_switch';
import { ErrorScreen, InstalledScreen, ProgressScreen, SetupScreen } from './screens';
import { type PageEvent, type PageState, uninstall_phase } from './state';
import type { Store } from './store';
import { UninstallCard, UninstallEmblem } from './uninstall_card';

function install_screen(s: PageState, dispatch: (e: PageEvent) => void) {
  switch (s.view) {
    case 'setup':
      return <SetupScreen s={s} dispatch={dispatch} />;
    case 'progress':
      return <ProgressScreen s={s} />;
    case 'installed':
      return <InstalledScreen dispatch={dispatch} />;
    case 'error':
      return <ErrorScreen s={s} dispatch={dispatch} />;
    default:
      return null;
  }
}

export function App({ store }: { store: Store }) {
  const [s, setState] = useState(store.get());
  useLayoutEffect(() => {
    setState(store.get());
    return store.subscribe(() => setState(store.get()));
  }, [store]);
  // "show" and the like go out once the state that asked for them is on screen. This runs right
  // after the commit: it must not wait for an animation frame, which a hidden window never gets.
  useLayoutEffect(() => store.flush_after_render());

  const layout = hero_layout(s.mode, s.view);
  const layoutChange = useRef({ layout, since: performance.now() });
  if (layoutChange.current.layout !== layout) layoutChange.current = { layout, since: performance.now() };

  if (s.view === 'loading') return null;
  const dispatch = store.dispatch;
  const uninstalling = s.mode === 'uninstall';
  const screenId = uninstalling ? `uninstall-${uninstall_phase(s.view)}` : s.view;
  const said = announcement(s);
  return (
    <div class={`app app-${s.mode}`}>
      <Hero
        layout={layout}
        tone={hero_tone(s.view)}
        sloganTop={slogan_top(s.mode, s.view)}
        closeDisabled={s.busy && s.closing !== ''}
        onMinimize={() => dispatch({ kind: 'minimize' })}
        onClose={() => dispatch({ kind: 'close' })}
        onDrag={() => dispatch({ kind: 'drag' })}
        ringsClearFoot={!uninstalling && s.view === 'progress'}
      >
        {uninstalling ? <UninstallEmblem phase={uninstall_phase(s.view)} /> : null}
      </Hero>
      <ScreenSwitch id={screenId} layoutSince={layoutChange.current.since}>
        {uninstalling ? <UninstallCard s={s} dispatch={dispatch} /> : install_screen(s, dispatch)}
      </ScreenSwitch>
      {/* Read out by screen readers, never seen: where the run stands, and errors at once. */}
      <div class="sr-only" role="status" aria-live="polite" aria-atomic="true" data-testid="announce-polite">
        {said.polite}
      </div>
      <div class="sr-only" role="alert" aria-live="assertive" aria-atomic="true" data-testid="announce-assertive">
        {said.assertive}
      </div>
    </div>
  );
}
