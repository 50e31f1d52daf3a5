// The hero panel: background video under a coloured shade, the ring set, the logo, the window
// controls and, in the install flow, the slogan; in the uninstall card an emblem of its phase.
import type { ComponentChildren } from 'preact';
import { useEffect, useState } from 'preact/hooks';
import { HERO_GEOMETRY, type HeroLayout, type Tone } from './layout';
import { Slogan } from './slogan';

export const VIDEO_SRC = 'videos/hero.mp4';
/** How long after the page's second frame the video gets its source. */
export const VIDEO_DELAY_MS = 300;

interface HeroProps {
  layout: HeroLayout;
  tone: Tone;
  sloganTop: number | null;
  closeDisabled: boolean;
  onMinimize(): void;
  onClose(): void;
  /** A press of the primary button on the hero outside its buttons: start moving the window. */
  onDrag(): void;
  /** The progress bar sits at the foot of the hero: the rings fade out above it. */
  ringsClearFoot?: boolean;
  /** Drawn in the middle of the rings (the uninstall card's emblem). */
  children?: ComponentChildren;
}

const RING_NAMES = ['ring-1', 'ring-2', 'ring-3'];

function Rings({ tone, suffix }: { tone: Tone; suffix: string }) {
  return (
    <div class={`rings rings-${tone}`}>
      {RING_NAMES.map((name) => (
        <img key={name} class={`ring ${name}`} src={`images/${name}${suffix}.svg`} alt="" draggable={false} />
      ))}
    </div>
  );
}

/**
 * The video's source, given only once the page's first frames are on screen (two animation frames
 * and VIDEO_DELAY_MS later). Starting a video decoder costs the web view about half a second of
 * CPU, which would otherwise come before the first paint; until then the poster shows. A window
 * that is not drawn at all gets no frames, and so no video, until it is.
 */
function useVideoSource(): string | undefined {
  const [src, setSrc] = useState<string | undefined>(undefined);
  useEffect(() => {
    let frame = 0;
    let timer: ReturnType<typeof setTimeout> | undefined;
    frame = requestAnimationFrame(() => {
      frame = requestAnimationFrame(() => {
        frame = 0;
        timer = setTimeout(() => setSrc(VIDEO_SRC), VIDEO_DELAY_MS);
      });
    });
    return () => {
      if (frame) cancelAnimationFrame(frame);
      if (timer !== undefined) clearTimeout(timer);
    };
  }, []);
  return src;
}

/** True when a press at this target started on a control rather than on the hero surface. */
export function pressed_on_control(target: EventTarget | null): boolean {
  return target instanceof Element && target.closest('button, a, input, label, [role="button"]') !== null;
}

export function Hero(props: HeroProps) {
  const g = HERO_GEOMETRY[props.layout];
  const [vx, vy, vw, vh] = g.video;
  const videoSrc = useVideoSource();
  const onMouseDown = (e: MouseEvent) => {
    if (e.button !== 0 || pressed_on_control(e.target)) return;
    e.preventDefault();
    props.onDrag();
  };
  return (
    <div
      class={`hero hero-${props.layout} tone-${props.tone}`}
      style={{ width: `${g.width}px`, height: `${g.height}px` }}
      onMouseDown={onMouseDown}
    >
      <video
        class="hero-video"
        style={{ left: `${vx}px`, top: `${vy}px`, width: `${vw}px`, height: `${vh}px` }}
        src={videoSrc}
        poster="images/hero.jpg"
        autoplay
        loop
        muted
        playsInline
        disablePictureInPicture
      />
      <div class="shade shade-red" />
      <div class="shade shade-green" />
      <div class={`ring-field${props.ringsClearFoot ? ' ring-field-clear-foot' : ''}`}>
        <div class="rings-anchor" style={{ top: `${g.ringsTop}px`, left: `${g.ringsLeft}px` }}>
          <Rings tone="red" suffix="" />
          <Rings tone="green" suffix="-green" />
        </div>
      </div>
      {props.children ? <div class="hero-emblem">{props.children}</div> : null}
      {props.layout !== 'narrow' ? <Slogan top={props.sloganTop} /> : null}
      <div class="brand">
        <img class="brand-mark" src="images/logo.svg" alt="" draggable={false} />
        <span class="brand-name">CORVANE</span>
      </div>
      <div class="window-controls">
        <button type="button" class="control" aria-label="Свернуть" title="Свернуть" onClick={props.onMinimize}>
          <img src="images/minimize.svg" alt="" draggable={false} />
        </button>
        <button
          type="button"
          class="control control-close"
          aria-label="Закрыть"
          title="Закрыть"
          disabled={props.closeDisabled}
          onClick={props.onClose}
        >
          <img src="images/close.svg" alt="" draggable={false} />
        </button>
      </div>
    </div>
  );
}
