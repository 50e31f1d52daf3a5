// Which hero layout, tone and slogan position each view uses, and the geometry of the layouts.
import type { Mode, View } from './state';

export type HeroLayout = 'compact' | 'full' | 'narrow';
export type Tone = 'red' | 'green';

export interface HeroGeometry {
  width: number;
  height: number;
  /** Vertical centre line of the ring set, from the hero's top edge. */
  ringsTop: number;
  /** Horizontal centre of the ring set, from the hero's left edge. */
  ringsLeft: number;
  /** Video box: left, top, width, height, relative to the hero. */
  video: readonly [number, number, number, number];
}

export const HERO_GEOMETRY: Record<HeroLayout, HeroGeometry> = {
  compact: { width: 960, height: 280, ringsTop: 280, ringsLeft: 700, video: [-35.808, -210.504, 1031.616, 597.016] },
  full: { width: 960, height: 690, ringsTop: 345, ringsLeft: 480, video: [-116.064, -0.414, 1192.992, 690.414] },
  narrow: { width: 635, height: 280, ringsTop: 280, ringsLeft: 317.5, video: [-22.86, -57.176, 680.847, 394.044] },
};

export function hero_layout(mode: Mode, view: View): HeroLayout {
  if (mode === 'uninstall') return 'narrow';
  return view === 'setup' ? 'compact' : 'full';
}

export function hero_tone(view: View): Tone {
  return view === 'installed' ? 'green' : 'red';
}

/** Top of the slogan in the hero, or null when the slogan is hidden. */
export function slogan_top(mode: Mode, view: View): number | null {
  if (mode !== 'install') return null;
  if (view === 'setup') return 115;
  if (view === 'progress') return 280;
  return null;
}

export function reduced_motion(): boolean {
  return typeof matchMedia === 'function' && matchMedia('(prefers-reduced-motion: reduce)').matches;
}
