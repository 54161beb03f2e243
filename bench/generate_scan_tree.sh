#!/usr/bin/env bash
# Writes the generated scan tree: FILES script files (default 10,000) in
# PACKAGES packages (default 300), TREE/PkgNNN/Classes/ClsNNNNN.uc, unless
# TREE/.complete says it is there already. The same arguments always give
# the same bytes. A folder that exists, is not empty and holds no generated
# tree is refused (exit 2), never overwritten.
#
# Usage: bench/generate_scan_tree.sh TREE [FILES [PACKAGES]]
set -euo pipefail
tree=$1
files=${2:-10000}
packages=${3:-300}

# The tree: class i lives in package i % 300 and extends a class before it
# (class 0 is the root); every fifth uses "expands", every seventh puts its
# parent on the next line.
if [ ! -f "$tree/.complete" ]; then
  if [ -d "$tree" ] && [ -n "$(ls -A "$tree")" ]; then
    echo "$tree is not empty and holds no generated tree; choose another folder" >&2
    exit 2
  fi
  echo "generating $files script files in $packages packages under $tree ..." >&2
  mkdir -p "$tree"
  for ((p = 0; p < packages; p++)); do mkdir -p "$tree/$(printf 'Pkg%03d' "$p")/Classes"; done
  awk -v tree="$tree" -v files="$files" -v packages="$packages" 'BEGIN {
    srand(42)
    for (i = 0; i < files; i++) {
      name = sprintf("Cls%05d", i)
      package = sprintf("Pkg%03d", i % packages)
      file = tree "/" package "/Classes/" name ".uc"
      if (i == 0) {
        declaration = "class " name "\n\tnative;"
      } else {
        parent = sprintf("Cls%05d", int(rand() * i))
        keyword = (i % 5 == 0) ? "expands" : "extends"
        if (i % 7 == 0) declaration = "class " name "\n\t" keyword " " parent "\n\tconfig(" package ");"
        else declaration = "class " name " " keyword " " parent "\n\tconfig(" package ");"
      }
      printf "//=============================================================================\n" > file
      printf "// %s: generated for the scan benchmark.\n", name > file
      printf "//=============================================================================\n" > file
      printf "%s\n\nvar() int Counter;\nvar() float Rate;\nvar string Label;\n\n", declaration > file
      printf "function PostBeginPlay()\n{\n\tSuper.PostBeginPlay();\n\tCounter = 0;\n}\n\n" > file
      printf "function Tick(float DeltaTime)\n{\n\tRate += DeltaTime;\n\tif (Rate > 1.0)\n\t{\n" > file
      printf "\t\tCounter++;\n\t\tRate = 0;\n\t}\n}\n\ndefaultproperties\n{\n\tLabel=\"%s\"\n}\n", name > file
      close(file)
    }
  }'
  touch "$tree/.complete"
fi
