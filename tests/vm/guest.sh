#!/bin/bash
# Inside the lab guest, on the host's root: loads the drivers, builds the USB
# gadget, names the virtio ports as udev would, and runs the checks.
set -u
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
. "$1"
say() { echo "guest: $* ($(cut -d' ' -f1 /proc/uptime) s)"; }
say "up"
echo 1 >/proc/sys/kernel/sysrq
for m in virtio_console xhci_pci ftdi_sio cdc_acm dummy_hcd usb_f_acm; do
  modprobe "$m" || say "module $m did not load"
done
mount -t configfs none /sys/kernel/config 2>/dev/null

# The virtio ports under their names, as udev links them.
mkdir -p /dev/virtio-ports
for p in /sys/class/virtio-ports/*; do
  [ -f "$p/name" ] && ln -sf "../$(basename "$p")" "/dev/virtio-ports/$(cat "$p/name")"
done

# The gadget: one CDC ACM function on the dummy controller. Its host side is
# ttyACM0 (cdc_acm), its device side ttyGS0.
g=/sys/kernel/config/usb_gadget/lab
mkdir -p "$g/strings/0x409" "$g/configs/c.1" "$g/functions/acm.GS0"
echo 0x1d6b >"$g/idVendor"
echo 0x0104 >"$g/idProduct"
echo "Dralvo lab" >"$g/strings/0x409/manufacturer"
echo "Lab modem" >"$g/strings/0x409/product"
echo LAB0002 >"$g/strings/0x409/serialnumber"
ln -s "$g/functions/acm.GS0" "$g/configs/c.1/"
udc=$(ls /sys/class/udc | head -n 1)
echo "$udc" >"$g/UDC"
for i in $(seq 1 100); do
  [ -e /dev/ttyUSB0 ] && [ -e /dev/ttyACM0 ] && break
  sleep 0.05
done
say "devices: $(cd /dev && echo ttyUSB* ttyACM* ttyGS* ttyS1 virtio-ports/*)"

export VMLAB_GADGET="$g" VMLAB_UDC="$udc" VMLAB_PULLS="$pulls" VMLAB_OUT="$out" DRALVO_TRACE=1
export HOME=/tmp/home XDG_CACHE_HOME=/tmp/home/.cache
mkdir -p "$HOME"
cd /tmp
if [ "${VMLAB_PERF:-}" = 1 ]; then
  echo -1 >/proc/sys/kernel/perf_event_paranoid
  perf record -a -e cpu-clock -F 997 -o "$out/perf.data" -q 2>"$out/perf.err" &
  perf_pid=$!
fi
"$build/tests/vm/vmlab_checks" --gtest_filter="$filter" --gtest_output="xml:$out/results.xml.tmp" \
  --dralvo="$build/dralvo"
rc=$?
[ -n "${perf_pid:-}" ] && kill -INT "$perf_pid" && wait "$perf_pid"
mv "$out/results.xml.tmp" "$out/results.xml" 2>/dev/null
say "checks done (exit $rc)"
dmesg | grep -E "ftdi|cdc_acm|ttyUSB|ttyACM|ttyGS|usb [0-9]" | tail -n 60 >"$out/dmesg.txt"
