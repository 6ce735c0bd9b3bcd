#!/usr/bin/env bash
# Assimp as WebAssembly, for the page: Debian's own sources of the release the desktop links
# (5.2.5~ds0, fetched by scripts/setup_web.sh), built once with Debian's emscripten into
#   build/wasm-deps/prefix/{include,lib}
# and reused while build/wasm-deps/prefix/.stamp matches this script's recipe. zlib and
# minizip (which the ~ds0 sources leave to the system) come from Debian's zlib source,
# utf8cpp and stb_image from Debian's header packages, as Debian's own build takes them; Draco
# (glTF's compressed meshes) from Assimp's contrib folder, where Debian links its libdraco.
#
# Importers: all of them, as Debian builds them. Exporters: only those Zevrin writes through
# (import/assimp/M_assimp_export.cpp): OBJ, glTF, STL, PLY, FBX and Collada.
#   bash scripts/build_assimp_wasm.sh   (when it builds: the time it took and the sizes)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD/build/wasm-deps
prefix=$root/prefix
stamp=$prefix/.stamp
# The recipe is this script without its comments: a comment changed rebuilds nothing.
want=$(grep -v '^[[:space:]]*#' "$0" | sha256sum | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi
src=$root/src
assimp_src=$(ls -d "$src"/assimp-5.2.5 2>/dev/null || true)
zlib_src=$(ls -d "$src"/zlib-1.2.13* 2>/dev/null | head -1 || true)
if [ -z "$assimp_src" ] || [ -z "$zlib_src" ]; then
  echo "No Debian sources in $src: run scripts/setup_web.sh (as root or with sudo) first" >&2
  exit 1
fi
export NODE_PATH=/usr/share/nodejs
jobs=2
start=$(date +%s)
rm -rf "$prefix" "$root/obj"
mkdir -p "$prefix/include" "$prefix/lib" "$root/obj/zlib" "$root/obj/minizip"

# The same exceptions as the rest of the module (cmake/Wasm.cmake): one kind in one program.
flags="-Os -fwasm-exceptions -DHAVE_UNISTD_H"

# zlib and minizip's unzip, as static libraries.
# gz* (file streams) is left out: neither Assimp nor minizip uses it.
for f in adler32 compress crc32 deflate infback inffast inflate \
         inftrees trees uncompr zutil; do
  emcc $flags -c "$zlib_src/$f.c" -o "$root/obj/zlib/$f.o" &
  [ "$(jobs -r | wc -l)" -lt $jobs ] || wait -n
done
wait
emar rcs "$prefix/lib/libz.a" "$root"/obj/zlib/*.o
cp "$zlib_src/zlib.h" "$zlib_src/zconf.h" "$prefix/include/"
mkdir -p "$prefix/include/minizip"
for f in ioapi unzip zip; do
  emcc $flags -I"$prefix/include" -c "$zlib_src/contrib/minizip/$f.c" \
    -o "$root/obj/minizip/$f.o"
done
emar rcs "$prefix/lib/libminizip.a" "$root"/obj/minizip/*.o
cp "$zlib_src"/contrib/minizip/{ioapi,unzip,zip,crypt}.h "$prefix/include/minizip/"
mkdir -p "$prefix/lib/pkgconfig"
cat > "$prefix/lib/pkgconfig/minizip.pc" <<EOF
Name: minizip
Description: minizip of Debian's zlib source, as WebAssembly
Version: 1.1
Libs: -L$prefix/lib -lminizip -lz
Cflags: -I$prefix/include/minizip
EOF

# The headers Debian's build takes from the system, and nothing else of the host's /usr/include.
mkdir -p "$prefix/include/stb"
cp /usr/include/stb/stb_image.h "$prefix/include/stb/"
cp -r /usr/include/utf8cpp/utf8.h /usr/include/utf8cpp/utf8 "$prefix/include/"

# Assimp, with Debian's patches that concern the library (the system's utf8cpp and stb).
rm -rf "$root/assimp-src"
cp -r "$assimp_src" "$root/assimp-src"
for p in use-system-utf8cpp.patch use-system-stb_image.patch; do
  patch -s -p1 -d "$root/assimp-src" < "$src/assimp-debian/patches/$p"
done
# Debian's build finds the system's librt and with it builds glTF 1's Open3DGC decoder, which
# uses nothing of librt that emscripten's libc lacks: an empty librt stands for it.
emar rcs "$prefix/lib/librt.a"
exporters=()
for e in OBJ GLTF STL PLY FBX COLLADA; do exporters+=("-DASSIMP_BUILD_${e}_EXPORTER=ON"); done
# Draco checks for the variable that an emsdk sets.
EMSCRIPTEN=/usr/share/emscripten PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig emcmake cmake -S "$root/assimp-src" \
  -B "$root/obj/assimp" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$flags -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELEASE="$flags -DNDEBUG" \
  -DCMAKE_CXX_FLAGS="-I$prefix/include" -DCMAKE_C_FLAGS="-I$prefix/include" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DASSIMP_BUILD_ZLIB=OFF \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" \
  -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
  -DASSIMP_BUILD_DOCS=OFF -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_IGNORE_GIT_HASH=ON \
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=ON -DASSIMP_BUILD_ALL_EXPORTERS_BY_DEFAULT=OFF \
  -DRT_LIBRARY="$prefix/lib/librt.a" "${exporters[@]}" -DASSIMP_BUILD_DRACO=ON >"$root/configure.log"
cmake --build "$root/obj/assimp" -j $jobs
cmake --install "$root/obj/assimp" >/dev/null
# Draco's static library is built but not installed by Assimp's install.
find "$root/obj/assimp" -name 'libdraco*.a' -exec cp {} "$prefix/lib/" \;

seconds=$(( $(date +%s) - start ))
echo "Assimp for WebAssembly: $seconds s;" \
  "$(du -b "$prefix"/lib/*.a | awk '{printf "%s %d B; ", $2, $1}')" | sed "s|$prefix/lib/||g"
echo "$want" > "$stamp"
