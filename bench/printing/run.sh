#!/usr/bin/env bash
# Printing figures: the receipt pipeline in Chromium and the hand-off to CUPS
# and TCP, then a /24 discovery on loopback. Needs build/host/tovik (or TOVIK_HOST).
set -euo pipefail
cd "$(dirname "$0")/../.."
node bench/printing/receipt.mjs
node bench/printing/discovery.mjs
