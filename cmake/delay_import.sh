#!/bin/sh
# Makes a delay-load import library for one system DLL from its ordinary import library, so
# that the DLL is loaded on the first call into it rather than at every start.
# Usage: delay_import.sh CXX NM DLLTOOL NAME OUTPUT_FOLDER
set -eu
import=$("$1" -print-file-name="lib$4.a")
{
  echo "LIBRARY $4.dll"
  echo "EXPORTS"
  "$2" -g "$import" | sed -n 's/.* I __imp_//p' | sort -u
} > "$5/$4.def"
"$3" --input-def "$5/$4.def" --output-delaylib "$5/lib$4_delay.a" --dllname "$4.dll"
