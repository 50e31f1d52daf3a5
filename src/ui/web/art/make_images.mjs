// Writes the page's SVG artwork into public/images: the logo, the control and field icons, and
// the red and green ring sets. Run with `node art/make_images.mjs`; the output is committed.
import { mkdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const out = join(dirname(fileURLToPath(import.meta.url)), '..', 'public', 'images');
mkdirSync(out, { recursive: true });

const RED = '#f72120';
const GREEN = '#4adf61';

const r2 = (v) => Math.round(v * 100) / 100;
const polar = (cx, cy, r, deg) => {
  const a = (deg * Math.PI) / 180;
  return [r2(cx + r * Math.cos(a)), r2(cy + r * Math.sin(a))];
};
/** An arc of a circle from angle a0 to a1 (degrees, clockwise, 0 = pointing right). */
const arc = (cx, cy, r, a0, a1) => {
  const [x0, y0] = polar(cx, cy, r, a0);
  const [x1, y1] = polar(cx, cy, r, a1);
  return `M${x0} ${y0}A${r} ${r} 0 ${a1 - a0 > 180 ? 1 : 0} 1 ${x1} ${y1}`;
};

function svg(size, body, viewBox = `0 0 ${size} ${size}`) {
  return `<svg xmlns="http://www.w3.org/2000/svg" width="${size}" height="${size}" viewBox="${viewBox}" fill="none">${body}</svg>\n`;
}

function write(name, text) {
  writeFileSync(join(out, name), text);
}

// Logo: a bird's head drawn as an open ring with a beak in its opening and a bright eye.
{
  const c = 24;
  const R = 21;
  const r = 12;
  const [ox0, oy0] = polar(c, c, R, 38);
  const [ox1, oy1] = polar(c, c, R, 318);
  const [ix1, iy1] = polar(c, c, r, 318);
  const [ix0, iy0] = polar(c, c, r, 38);
  const ring = `M${ox0} ${oy0}A${R} ${R} 0 1 1 ${ox1} ${oy1}L47 24.5L${ix1} ${iy1}A${r} ${r} 0 1 0 ${ix0} ${iy0}Z`;
  write(
    'logo.svg',
    svg(
      48,
      `<defs><linearGradient id="g" x1="6" y1="4" x2="42" y2="46" gradientUnits="userSpaceOnUse">` +
        `<stop offset="0" stop-color="#ff5a45"/><stop offset=".55" stop-color="${RED}"/><stop offset="1" stop-color="#a80c0b"/></linearGradient></defs>` +
        `<path d="${ring}" fill="url(#g)"/>` +
        `<circle cx="29.5" cy="18.5" r="2.6" fill="#fff"/>`,
    ),
  );
}

// Icons: white strokes on a 24 px grid, drawn at 16-20 px by the page.
const icon = (paths, width = 2) =>
  svg(24, `<g stroke="#fff" stroke-width="${width}" stroke-linecap="round" stroke-linejoin="round">${paths}</g>`);
write('close.svg', icon('<path d="M6.5 6.5l11 11M17.5 6.5l-11 11"/>'));
write('minimize.svg', icon('<path d="M6 12h12"/>'));
write('edit.svg', icon('<path d="M4.5 19.5h4l10-10a2.83 2.83 0 0 0-4-4l-10 10v4z"/><path d="M13 7l4 4"/>', 1.7));
write('check.svg', icon('<path d="M5.5 12.5l4.2 4.2L18.5 7.8"/>', 2.4));
write('download.svg', icon('<path d="M12 4v10.5M7.5 10.5L12 15l4.5-4.5M5 19.5h14"/>'));

// Rings: three concentric decorations that turn slowly behind the content.
function rings(colour, suffix) {
  const fade = (id, s) =>
    `<linearGradient id="${id}" x1="0" y1="0" x2="${s}" y2="${s}" gradientUnits="userSpaceOnUse">` +
    `<stop offset="0" stop-color="${colour}" stop-opacity=".9"/><stop offset=".5" stop-color="${colour}" stop-opacity=".08"/>` +
    `<stop offset="1" stop-color="${colour}" stop-opacity=".55"/></linearGradient>`;
  const glow = `<filter id="glow" x="-20%" y="-20%" width="140%" height="140%"><feGaussianBlur stdDeviation="4"/></filter>`;

  // Outer ring: a hairline with two bright arcs and four ticks.
  {
    const s = 640;
    const c = s / 2;
    const R = 316;
    const ticks = [0, 90, 180, 270]
      .map((a) => {
        const [x0, y0] = polar(c, c, R - 7, a);
        const [x1, y1] = polar(c, c, R + 3, a);
        return `<path d="M${x0} ${y0}L${x1} ${y1}"/>`;
      })
      .join('');
    write(
      `ring-1${suffix}.svg`,
      svg(
        s,
        `<defs>${fade('f', s)}${glow}</defs>` +
          `<circle cx="${c}" cy="${c}" r="${R}" stroke="url(#f)" stroke-width="1.2"/>` +
          `<g stroke="${colour}" stroke-width="3" stroke-linecap="round" opacity=".9">` +
          `<path d="${arc(c, c, R, 200, 250)}" filter="url(#glow)"/><path d="${arc(c, c, R, 200, 250)}"/>` +
          `<path d="${arc(c, c, R, 20, 42)}"/></g>` +
          `<g stroke="#fff" stroke-opacity=".35" stroke-width="1.2">${ticks}</g>`,
      ),
    );
  }
  // Middle ring: a dotted track with one long arc.
  {
    const s = 470;
    const c = s / 2;
    const R = 230;
    write(
      `ring-2${suffix}.svg`,
      svg(
        s,
        `<defs>${fade('f', s)}</defs>` +
          `<circle cx="${c}" cy="${c}" r="${R}" stroke="url(#f)" stroke-width="2" stroke-dasharray="1.5 9" stroke-linecap="round"/>` +
          `<path d="${arc(c, c, R, 300, 385)}" stroke="${colour}" stroke-opacity=".75" stroke-width="1.6" stroke-linecap="round"/>` +
          `<circle cx="${polar(c, c, R, 385)[0]}" cy="${polar(c, c, R, 385)[1]}" r="3.5" fill="${colour}"/>`,
      ),
    );
  }
  // Inner ring: a soft glowing circle with short segments.
  {
    const s = 310;
    const c = s / 2;
    const R = 148;
    write(
      `ring-3${suffix}.svg`,
      svg(
        s,
        `<defs>${fade('f', s)}${glow}</defs>` +
          `<circle cx="${c}" cy="${c}" r="${R}" stroke="url(#f)" stroke-width="1.5"/>` +
          `<g stroke="${colour}" stroke-width="4" stroke-linecap="round">` +
          `<path d="${arc(c, c, R, 110, 160)}" filter="url(#glow)" opacity=".9"/><path d="${arc(c, c, R, 110, 160)}"/>` +
          `<path d="${arc(c, c, R, 290, 305)}" opacity=".7"/></g>`,
      ),
    );
  }
}
rings(RED, '');
rings(GREEN, '-green');
