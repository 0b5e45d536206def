#!/usr/bin/env bash
# Builds kelrad's context dictionaries from vowelled corpora you supply and
# prints the KELRAD_DICT_DIR setting that makes kelrad find them.
#
#   bash scripts/bootstrap_dicts.sh [-o DIR] LANG=CORPUS [LANG=CORPUS ...]
#
# LANG is arabic, hebrew or persian; CORPUS is a UTF-8 text file written with
# its vowel marks (harakat or niqqud). Give LANG=CORPUS again to add files to
# one dictionary. DIR defaults to ./kelrad-dicts. No dictionary ships with
# kelrad: the corpora that make good ones come under their own licences.
# See docs/user-guide/abjad-transliteration.md.
set -euo pipefail

usage() {
  sed -n '4,11p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

here="$(cd "$(dirname "$0")" && pwd)"
python="${PYTHON:-python3}"
out="kelrad-dicts"

while getopts "o:h" opt; do
  case "$opt" in
    o) out="$OPTARG" ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || usage

declare -A corpora=()
for arg in "$@"; do
  lang="${arg%%=*}"
  file="${arg#*=}"
  case "$lang" in
    arabic | hebrew | persian) ;;
    *) echo "bootstrap_dicts: unknown dictionary '$lang' (arabic, hebrew or persian)" >&2; exit 2 ;;
  esac
  [ "$lang" != "$arg" ] && [ -f "$file" ] || { echo "bootstrap_dicts: no such corpus file: '$file'" >&2; exit 2; }
  corpora[$lang]+="${corpora[$lang]:+$'\n'}$file"
done

mkdir -p "$out"
out="$(cd "$out" && pwd)"
for lang in "${!corpora[@]}"; do
  mapfile -t files <<<"${corpora[$lang]}"
  "$python" "$here/build_dictionary.py" --lang "$lang" -o "$out" "${files[@]}"
done

echo
echo "To use these dictionaries:"
echo "  export KELRAD_DICT_DIR=$(printf '%q' "$out")"
