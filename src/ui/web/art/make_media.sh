#!/bin/sh
# Renders the hero's background video (public/videos/hero.mp4) and its poster (public/images/hero.jpg):
# slow, abstract light ribbons on a near-black ground, neutral in colour so that the page's red or
# green shade gives the tone. Every value is a function of 2*pi*t/LOOP, so the last frame leads
# back into the first and the clip loops without a seam. Needs ffmpeg (Debian's 5.1 was used);
# the outputs are committed, so a build never needs it.
set -eu
web=$(cd "$(dirname "$0")/.." && pwd)
LOOP=12      # seconds
FPS=25
W=1296       # the page shows the clip at an aspect ratio of 1.728
H=750
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Brightness field, rendered at two thirds of the size: a family of thin bright ribbons (the
# contour lines of a bending phase) under a travelling light, a fainter second family across them,
# and a soft glow that drifts the other way.
RW=$((W * 2 / 3))
RH=$((H * 2 / 3))
field="st(0,2*PI*T/$LOOP);\
st(1,X/47+1.6*sin(Y/100+ld(0))+0.8*sin((X+Y)/140-ld(0)));\
st(2,1/(1+60*pow(sin(ld(1)),2)));\
st(3,0.5+0.5*sin(X/173-Y/120+ld(0)));\
st(4,Y/40+1.3*sin(X/120-ld(0))+0.6*cos(Y/80+2*ld(0)));\
st(5,1/(1+90*pow(sin(ld(4)),2)));\
st(6,0.5+0.5*cos(X/220+Y/160-2*ld(0)));\
clip(8+140*ld(2)*pow(ld(3),2)+38*ld(5)*pow(ld(6),3)+26*pow(ld(6),3)+18*(Y/H),0,255)"

ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i "color=c=black:s=${RW}x${RH}:r=$FPS:d=$LOOP,format=gray" \
  -vf "geq=lum='$field',gblur=sigma=0.8,scale=$W:$H:flags=bicubic,format=gbrp,\
colorchannelmixer=rr=1.0:gg=0.94:bb=0.98,vignette=angle=PI/4.2,format=yuv420p" \
  -c:v libx264 -preset slow -crf 20 -profile:v high -pix_fmt yuv420p -g $((FPS * 2)) \
  -movflags +faststart -an "$tmp/hero.mp4"

mkdir -p "$web/public/videos" "$web/public/images"
mv "$tmp/hero.mp4" "$web/public/videos/hero.mp4"
ffmpeg -hide_banner -loglevel error -y -i "$web/public/videos/hero.mp4" -frames:v 1 -q:v 3 "$web/public/images/hero.jpg"
