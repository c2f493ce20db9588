#!/usr/bin/env bash
# The Debian package: built by CPack from the build folder, unpacked into a
# scratch root, both programs run from there on the bundled example; the
# manual pages and the run-time dependencies are in the package. With PYTHON,
# the Python package is in it too, and reads a FITS file from there.
#
#   package_test.sh CPACK BUILD_DIR SOURCE_DIR [PYTHON]
set -euo pipefail
cpack=$1 build=$2 source=$3 python=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "package test: $*" >&2; exit 1; }

# The package goes to the scratch folder, not among the build's files.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$scratch"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}

contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/kvw ./usr/bin/kvw-minima ./usr/lib/kvw/kvw-minima-plot.so ./usr/lib/kvw/kvw-minima-fits.so \
            ./usr/share/man/man1/kvw.1.gz ./usr/share/man/man1/kvw-minima.1.gz; do
  grep -q " $file\$" <<<"$contents" || fail "$file is not in the package: $contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libcfitsio liberfa libplplot plplot-driver-cairo; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done

if [ -n "$python" ]; then
  for file in __init__.py _sources.py _layout.py "_kvw.$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX")[1:])')"; do
    grep -q " ./usr/lib/python3/dist-packages/kvw/$file\$" <<<"$contents" || fail "kvw/$file is not in the package"
  done
  for dependency in python3-numpy python3-pandas "python3 (<<"; do
    grep -qF "$dependency" <<<"$depends" || fail "the package does not depend on $dependency: $depends"
  done
  grep -q python3-distributed <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "the package does not recommend Dask"
fi

dpkg -x "$deb" "$scratch/root"
zcat "$scratch/root/usr/share/man/man1/kvw.1.gz" | head -1 | grep -q '^\.TH KVW 1 ' || fail "kvw.1.gz is no manual page"
zcat "$scratch/root/usr/share/man/man1/kvw-minima.1.gz" | head -1 | grep -q '^\.TH KVW\\-MINIMA 1 ' ||
  fail "kvw-minima.1.gz is no manual page"

mkdir "$scratch/run"
cp "$source/examples/ECLIPSE.DAT" "$scratch/run/"
cd "$scratch/run"
report=$(echo ECLIPSE.DAT | "$scratch/root/usr/bin/kvw")
grep -q "MINIMUM TIME=2459000.427232" <<<"$report" || fail "kvw from the package reported: $report"
[ -f KWEESUM.DAT ] || fail "kvw from the package wrote no KWEESUM.DAT"

# --plot loads the drawing module from the package's lib/kvw, and PLplot's cairo driver, at run time.
table=$("$scratch/root/usr/bin/kvw-minima" --plot pictures ECLIPSE.DAT)
grep -q '^ECLIPSE.DAT,,,,,320,2459000.42723[0-9]*,.*,ok,$' <<<"$table" || fail "kvw-minima from the package wrote: $table"
grep -q '<svg' pictures/ECLIPSE.svg || fail "kvw-minima from the package drew no picture"
# A FITS file loads the FITS reader's module from the package's lib/kvw.
fits=$("$scratch/root/usr/bin/kvw-minima" --epoch 2455625.7 --half-width 1.5 "$source/tests/data/dip_llc.fits")
grep -q ',0,primary,2455625.7,1.5,123,2455625.71[0-9]*,.*,ok,$' <<<"$fits" || fail "kvw-minima from the package read: $fits"
# The Python package loads the same module from lib/kvw, relative to its own folder.
if [ -n "$python" ]; then
  timed=$(cd / && PYTHONPATH="$scratch/root/usr/lib/python3/dist-packages" "$python" -c "
import kvw
frame = kvw.time_minima('$source/tests/data/dip_llc.fits', epoch=2455625.7, half_width=1.5)
print(kvw.__file__, frame['points'][0], frame['status'][0])")
  grep -q "^$scratch/root/usr/lib/python3/dist-packages/kvw/__init__.py 123 ok\$" <<<"$timed" ||
    fail "the Python package from the package gave: $timed"
fi
echo "package test: $(basename "$deb") installs and runs"
