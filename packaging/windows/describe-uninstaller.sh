#!/usr/bin/env bash
# The uninstaller carries the installer's version information, whose
# FileDescription says it installs: makensis runs this on the uninstaller
# before packing it (!uninstfinalize) to say it uninstalls. FROM and TO are
# the same length, so only the string's characters change; the integrity
# check the uninstaller runs on itself (a CRC-32 of everything after the
# first 512 bytes, in its last four) is made again.
# usage: describe-uninstaller.sh UNINSTALLER FROM TO
set -euo pipefail
hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'; }
from=$(hex "$2")
to=$(hex "$3")
[ ${#from} = ${#to} ] || { echo "describe-uninstaller.sh: \"$2\" and \"$3\" differ in length" >&2; exit 1; }
FROM=$from TO=$to perl -0777 -i -pe '
  use Compress::Zlib qw(crc32);
  my ($from, $to) = (pack("H*", $ENV{FROM}), pack("H*", $ENV{TO}));
  my $n = s/\Q$from\E/$to/g;
  die "describe-uninstaller.sh: the description occurs $n times, not once\n" if $n != 1;
  substr($_, -4) = pack("V", crc32(substr($_, 512, length($_) - 516)));
' "$1"
