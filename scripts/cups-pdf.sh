#!/usr/bin/env bash
# Makes a CUPS queue "PDF" that writes every job as a PDF file (cups-pdf) and
# makes it the default destination, so that the receipt tests print through a
# real spooler. Starts the scheduler when it is not running. Needs root.
# The ESC/POS receipt test adds (and removes) a raw queue of its own on this
# scheduler, whose socket:// device is the test's loopback listener.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "cups-pdf.sh: needs root to start cupsd and add the queue; skipped" >&2
  exit 0
fi
if ! lpstat -r 2>/dev/null | grep -q "is running"; then
  cupsd
  for _ in $(seq 1 50); do
    lpstat -r 2>/dev/null | grep -q "is running" && break
    sleep 0.1
  done
fi
PPD=$(ls /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd /usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -n1)
if ! lpstat -p PDF >/dev/null 2>&1; then
  lpadmin -p PDF -E -v cups-pdf:/ -P "$PPD"
fi
cupsenable PDF
cupsaccept PDF
lpadmin -d PDF
lpstat -d
