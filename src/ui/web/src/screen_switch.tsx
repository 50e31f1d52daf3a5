// Animated change of screens: the leaving screen fades out (0.25 s, 8 px down), then the entering
// screen's items come in one after another (0.45 s each, 12 px up, 0.06 s apart). The entrance
// waits until the hero's change of layout is well under way: 0.56 s after it began, at least 0.1 s.
import type { ComponentChildren } from 'preact';
import { useLayoutEffect, useRef, useState } from 'preact/hooks';
import { reduced_motion } from './layout';

export const LEAVE_MS = 250;

/** Seconds to wait before the entering items start, `now - layoutSince` ms after the hero began to change. */
export function enter_delay(layoutSince: number, now: number): number {
  return Math.max(0.1, 0.56 - (now - layoutSince) / 1000);
}

interface Props {
  /** Identity of the screen; a new id starts a change. */
  id: string;
  /** performance.now() at which the hero's layout last changed. */
  layoutSince: number;
  children: ComponentChildren;
}

export function ScreenSwitch({ id, layoutSince, children }: Props) {
  const [shown, setShown] = useState(() => ({ id, delay: enter_delay(layoutSince, performance.now()) }));
  const [leaving, setLeaving] = useState(false);
  // The leaving screen keeps drawing what it drew last, not the entering screen's content.
  const last = useRef<ComponentChildren>(children);
  if (id === shown.id) last.current = children;
  const box = useRef<HTMLDivElement>(null);

  useLayoutEffect(() => {
    if (id === shown.id) {
      setLeaving(false);
      return;
    }
    const swap = () => {
      setLeaving(false);
      setShown({ id, delay: enter_delay(layoutSince, performance.now()) });
    };
    if (reduced_motion()) {
      swap();
      return;
    }
    setLeaving(true);
    const timer = setTimeout(swap, LEAVE_MS);
    return () => clearTimeout(timer);
  }, [id, shown.id]);

  // Number the entering items so that the style sheet can stagger them.
  useLayoutEffect(() => {
    const items = box.current?.firstElementChild?.children ?? [];
    Array.from(items).forEach((item, i) => (item as HTMLElement).style.setProperty('--i', String(i)));
  }, [shown.id]);

  return (
    <div
      key={shown.id}
      ref={box}
      class={`screen screen-${shown.id}${leaving ? ' screen-leave' : ''}`}
      style={{ '--enter-delay': `${shown.delay.toFixed(3)}s` }}
    >
      {id === shown.id ? children : last.current}
    </div>
  );
}
