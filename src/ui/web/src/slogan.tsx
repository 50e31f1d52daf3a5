// The slogan in the hero: three slides that take turns. The first change comes 9 s after the
// slogan is first shown; each later one 7 s after the previous change has finished. A change lets
// the title lines and then the text leave upwards and brings the next slide in from below.
import { useEffect, useRef, useState } from 'preact/hooks';
import { reduced_motion } from './layout';
import { SLIDES } from './slides';

export const FIRST_CHANGE_MS = 9000;
export const NEXT_CHANGE_MS = 7000;
/** The last leaving line (delay 0.2 s + 0.4 s) is gone after this long. */
export const LEAVE_MS = 600;
/** The last entering line (delay 0.2 s + 0.7 s) is in place this long after the switch. */
export const ENTER_MS = 900;

type Phase = 'intro' | 'leave' | 'enter';

export function Slogan({ top }: { top: number | null }) {
  const [index, setIndex] = useState(0);
  const [phase, setPhase] = useState<Phase>('intro');
  // While hidden the slogan fades out where it last stood.
  const lastTop = useRef(115);
  if (top !== null) lastTop.current = top;

  useEffect(() => {
    let timer: ReturnType<typeof setTimeout>;
    const next = () => setIndex((i) => (i + 1) % SLIDES.length);
    const change = () => {
      if (reduced_motion()) {
        next();
        timer = setTimeout(change, NEXT_CHANGE_MS);
        return;
      }
      setPhase('leave');
      timer = setTimeout(() => {
        next();
        setPhase('enter');
        timer = setTimeout(change, ENTER_MS + NEXT_CHANGE_MS);
      }, LEAVE_MS);
    };
    timer = setTimeout(change, FIRST_CHANGE_MS);
    return () => clearTimeout(timer);
  }, []);

  const slide = SLIDES[index];
  return (
    <div class={`slogan slogan-${phase}${top === null ? ' slogan-hidden' : ''}`} style={{ top: `${lastTop.current}px` }}>
      <div class="slogan-slide" key={index}>
        <div class="slogan-title">
          <span class="slogan-line slogan-line-1">{slide.title[0]}</span>
          <span class="slogan-line slogan-line-2">{slide.title[1]}</span>
        </div>
        <p class="slogan-text">{slide.text}</p>
      </div>
    </div>
  );
}
