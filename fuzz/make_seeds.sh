#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets under fuzz/corpus/<target>/ from real files:
# small packages, material records, libraries, meshes, models, vector maps and index streams
# written by the system's own writers, the woodland's pictures and manifest, and hand-made
# MTL, OBJ, configuration and GIF samples.
# Usage: fuzz/make_seeds.sh [BUILD_DIR]   (a configured build; default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake --build "$BUILD" -j2 --target fuzz_seedgen mirehollow_data >/dev/null
C=fuzz/corpus
for t in package names material mtl mesh manifest canvas vmap numpool stream model obj config; do mkdir -p "$C/$t"; done
"$BUILD/fuzz/fuzz_seedgen" "$C"

# The woodland's manifest and its smaller pictures (the big ones only slow a campaign down).
cp "$BUILD/art/mirehollow.manifest" "$C/manifest/seed_woodland"
printf '# ids need not be consecutive\n0 a.png\n\n7 sub/b c.tga\n8 /abs/d.jpg\n' > "$C/manifest/seed_gaps"
for f in firefly_0 firefly_3 label cube_skin; do
  { printf '\x00'; cat "$BUILD/art/$f.png"; } > "$C/canvas/seed_woodland_$f"
done
# A package of real items (a picture, a material record, a mesh), in both layouts.
mini=$(mktemp -d)
cp "$BUILD/art/firefly_0.png" "$mini/"
cp "$C/material/record_file_bark" "$mini/bark.mat"
cp "$C/mesh/full_file" "$mini/quad.msh"
printf '0 firefly_0.png\n1 bark.mat\n2 quad.msh\n' > "$mini/m.manifest"
"$BUILD/tools/mhpack/mhpack" build "$mini/m.manifest" -o "$C/package/seed_items_plain" >/dev/null
"$BUILD/tools/mhpack/mhpack" build "$mini/m.manifest" -o "$C/package/seed_items_transposed" --transposed >/dev/null
rm -rf "$mini"
# GIF: the canvas has no GIF writer, so a 2x2 one by hand, as an item, a file and a mask.
gif='GIF89a\x02\x00\x02\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x02\x00\x02\x00\x00\x02\x02\x44\x54\x00\x3b'
for sel in 4 9 14; do { printf "\\x$(printf %02x $sel)"; printf "$gif"; } > "$C/canvas/seed_gif_$sel"; done

cat > "$C/mtl/seed_two" <<'MTL'
# two materials after an unnamed one
newmtl  Bark
Ka 0.1 0.1 0.1
Kd 0.5 0.35 0.2
Ks 0 0 0
Ns 50
d 1
illum 2
newmtl Leaf
Kd 0.2 0.6 0.1
d 0.5
Ni 1.0
map_Kd leaf.png
MTL
printf 'newmtl a\r\nKd 1 2\r\nNs\r\nnewmtlx\n  newmtl b\tc\nK\nN\nd\n' > "$C/mtl/seed_edges"
# OBJ text, then a zero byte and the text of the m.mtl it may name.
{ cat <<'OBJ'
# a cube with two materials, normals, texture coordinates and a named group
mtllib m.mtl
o cube
v -1 -1 -1
v 1 -1 -1
v 1 1 -1
v -1 1 -1
v -1 -1 1
v 1 -1 1
v 1 1 1
v -1 1 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 0 0 -1
vn 0 0 1
vn 0 1 0
g front
usemtl Bark
f 1/1/1 2/2/1 3/3/1 4/4/1
f 5/1/2 8/4/2 7/3/2 6/2/2
g top
usemtl Leaf
f 4/1/3 3/2/3 7/3/3 8/4/3
f -4//3 -3//3 -2//3
l 1 2 3
s off
OBJ
  printf '\0'; cat "$C/mtl/seed_two"; } > "$C/obj/seed_cube"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' > "$C/obj/seed_triangle"
printf 'mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0\nusemtl a\nf 1 2 3 5 4\nusemtl\nf 1 2 3\ng\nf -1 -2 -3\n\0newmtl a\nKd 1 0 0\n' > "$C/obj/seed_polygon"

printf 'path=/usr/share/mirehollow\n' > "$C/config/seed_path"
printf '# the data directory\r\n  path = /srv/art dir \r\nother=1\npath=second\n' > "$C/config/seed_spaces"
echo "seeds: $(find "$C" -type f | wc -l) files in $C"
