#!/usr/bin/env bash
# Fetches the SQLCipher amalgamation from its npm tarball into DEST, once.
# The tarball is checked against its published integrity hash before use.
set -euo pipefail
dest=${1:?usage: fetch-sqlcipher.sh DEST}
package="@journeyapps/sqlcipher@6.0.0"
integrity="sha512-YmWSQIR4cnv+5L38lYJoS/dIF/+bEZBaACATbeTyq4XKjMHcxdIlFnElBLiIqa9rwseOIimIYjudgOOCovud3Q=="

if [ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ]; then exit 0; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "$package" >/dev/null)
tarball=$(ls "$work"/*.tgz)
actual="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
if [ "$actual" != "$integrity" ]; then
  echo "fetch-sqlcipher: integrity mismatch for $package" >&2
  echo "  expected $integrity" >&2
  echo "  got      $actual" >&2
  exit 1
fi
tar -xzf "$tarball" -C "$work" package/deps
src="$work/package/deps/sqlcipher-amalgamation"
if [ ! -f "$src/sqlite3.c" ]; then
  # Some releases ship the amalgamation as an archive inside deps/.
  archive=$(ls "$work"/package/deps/*.tar.gz 2>/dev/null | head -1 || true)
  [ -n "$archive" ] || { echo "fetch-sqlcipher: no amalgamation in $package" >&2; exit 1; }
  tar -xzf "$archive" -C "$work/package/deps"
fi
mkdir -p "$dest"
cp "$src/sqlite3.c" "$src/sqlite3.h" "$dest/"
echo "fetch-sqlcipher: amalgamation ready in $dest"
