#!/usr/bin/env bash
# Writes the map file that the tracked heap reads beside an executable: the
# text layout of the Microsoft linker's maps (module name, time stamp,
# preferred load address, public symbols, line numbers per source file), made
# from the executable's own symbols and DWARF line table, since the GNU
# linker's own map has another layout.
# Usage: make-map-file.sh EXE MAP NM OBJDUMP SOURCE_ROOT
# Line numbers are kept for sources under SOURCE_ROOT only: an address in
# library code is then named by its function instead of a nearby line of
# some other code.
set -euo pipefail
exe=$1 map=$2 nm=$3 objdump=$4 root=$5

headers=$("$objdump" -p "$exe")
sections=$("$objdump" -h "$exe")
image_base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")
read -r text_vma text_size < <(awk '$2 == ".text" { print $4, $3 }' <<<"$sections")
stamp=$(awk -F'\t+' '$1 == "Time/Date" { print $2 }' <<<"$headers")
seconds=$(date -u -d "$stamp" +%s 2>/dev/null || echo 0)
end_offset=$((0x$text_vma + 0x$text_size - 0x$image_base - 0x1000))
module=$(basename "$exe")
module=${module%.*}

# Shared by both awk programs: hexadecimal text to a number (mawk has no
# strtonum), and the "0001:offset" position of an address, where segment 1
# begins one page above the image base.
awk_lib='
function hex(s,   n, i) {
  s = tolower(s); sub(/^0x/, "", s); n = 0
  for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
  return n
}
function offset(address) { return address - hex(base) - 4096 }
'

tmp="$map.tmp"
{
  printf ' %s\n\n' "$module"
  printf ' Timestamp is %08x (%s)\n\n' "$seconds" "$stamp"
  printf ' Preferred load address is %08x\n\n' "0x$image_base"
  printf ' Start         Length     Name                   Class\n'
  printf ' 0001:00000000 %08xH .text                   CODE\n\n' "0x$text_size"
  printf '  Address         Publics by Value              Rva+Base       Lib:Object\n\n'

  # Code symbols only; names keep their decoration, which has no blanks.
  "$nm" --defined-only -n "$exe" | awk -v base="$image_base" -v start="$text_vma" -v size="$text_size" "$awk_lib"'
    NF == 3 && $2 ~ /^[tT]$/ && $3 !~ /^\./ {
      address = hex($1)
      if (address < hex(start) || address >= hex(start) + hex(size)) next
      printf " 0001:%08x       %s %08x f\n", offset(address), substr($3, 1, 900), address
    }'

  # A look-up needs an entry at or above the address: these end marks make
  # the last function and the last line row findable.
  printf ' 0001:%08x       end_of_code %08x f\n' "$end_offset" "$((0x$text_vma + 0x$text_size))"

  printf '\n entry point at        0001:00000000\n\n'

  # decodedline prints "path:" (or "CU: path:") before the rows of a file; a
  # row is: the file's base name, line, address, an optional view and mark.
  # One row per address (the last, innermost one), grouped by file.
  "$objdump" --dwarf=decodedline -w "$exe" | awk -v root="$root/" -v base="$image_base" \
      -v start="$text_vma" -v size="$text_size" "$awk_lib"'
    /:$/ && !/^File name/ {
      file = $0; sub(/^CU: /, "", file); sub(/:$/, "", file)
      project = index(file, root) == 1
      basename = file; sub(/.*\//, "", basename)
      next
    }
    project {
      for (i = NF; i > 1 && $i !~ /^0x[0-9a-f]+$/; i--) {}
      if (i < 3 || $(i - 1) !~ /^[0-9]+$/) next
      # The first rows after "CU:" may belong to an unannounced header.
      name = $1; for (j = 2; j < i - 1; j++) name = name " " $j
      if (name != basename) next
      address = hex($i)
      if (address < hex(start) || address >= hex(start) + hex(size)) next
      if (!(address in rows)) order[++count] = address
      rows[address] = file "\t" $(i - 1)
    }
    END { for (n = 1; n <= count; n++) printf "%s\t%08x\n", rows[order[n]], offset(order[n]) }' |
    LC_ALL=C sort -t "$(printf '\t')" -k1,1 -k3,3 |
    awk -F'\t' '
      function flush() {
        if (pairs == 0) return
        while (pairs % 4) { row = row sprintf(" %5d 0001:%s", last_line, last_offset); pairs++ }
        print row; row = ""; pairs = 0
      }
      $1 != file {
        flush(); if (file != "") print ""
        file = $1; name = file; sub(/.*\//, "", name); sub(/\.[^.]*$/, "", name)
        printf "Line numbers for %s.obj(%s) segment .text\n\n", name, file
      }
      {
        row = row sprintf(" %5d 0001:%s", $2, $3); pairs++
        last_line = $2; last_offset = $3
        if (pairs == 4) { print row; row = ""; pairs = 0 }
      }
      END { flush() }'
  end=$(printf '0001:%08x' "$end_offset")
  printf '\nLine numbers for end.obj(end of code) segment .text\n\n'
  printf '     0 %s     0 %s     0 %s     0 %s\n' "$end" "$end" "$end" "$end"
} >"$tmp"
mv "$tmp" "$map"
