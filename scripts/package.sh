#!/usr/bin/env bash
# Builds the Debian package from the tree, with the version that
# CMakeLists.txt gives, into build/package/:
#   tamvolo_<version>_<arch>.deb (and its debug symbols, tamvolo-dbgsym_...)
#   scripts/package.sh
# It builds a copy of the tracked files (and of those new ones git does not
# ignore), so that nothing of the working folders goes into the package, and
# checks the package with lintian.
# -e: a step that fails ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Tamvolo VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
out=build/package
src=$out/tamvolo-$version
rm -rf "$out"
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$src"

# The changelog's version is the one above, with the date of the last commit.
when=$(git log -1 --format=%cD 2>/dev/null || date -R)
cat >"$src/debian/changelog" <<CHANGELOG
tamvolo ($version) unstable; urgency=medium

  * Release $version.

 -- The Tamvolo developers <developers@tamvolo.org>  $when
CHANGELOG

export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
(cd "$src" && dpkg-buildpackage --build=binary --no-sign >../build.log 2>&1) ||
  { tail -n 30 "$out/build.log" >&2; exit 1; }
deb=$(ls "$out"/tamvolo_"$version"_*.deb)
lintian --fail-on error,warning --no-tag-display-limit "$deb"
echo "package: $deb"
