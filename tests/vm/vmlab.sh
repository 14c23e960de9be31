#!/usr/bin/env bash
# The serial lab: boots a small virtual machine on Debian's own kernel, with the
# host's root file system shared read-only, and runs the guest checks there on
# the kernel's real serial drivers: an FTDI USB adapter (ftdi_sio), a 16550
# UART (8250) and a USB gadget seen through cdc_acm.
#
#   tests/vm/vmlab.sh --build DIR --out DIR [--pulls N] [--filter GTEST_FILTER]
#
# Results: DIR/results.xml (the checks' report) and DIR/guest.log (the guest's
# console). Exits 0 when the guest ran its checks (whatever they found), 77 with
# the reason on standard error when the lab cannot run here, 1 when the guest
# did not come back with a report.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=""
out=""
pulls=20
filter="*"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift 2 ;;
    --pulls) pulls=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    *) echo "usage: $0 --build DIR --out DIR [--pulls N] [--filter GTEST_FILTER]" >&2; exit 2 ;;
  esac
done
[ -n "$build" ] && [ -n "$out" ] || { echo "vmlab: --build and --out are needed" >&2; exit 2; }

skip() { echo "vmlab: skipped: $*" >&2; echo "$*" >"$out/skipped"; exit 77; }
rm -f "$out/skipped" "$out/results.xml" "$out/guest.log" "$out/done"

[ "${VMLAB:-1}" != 0 ] || skip "switched off (VMLAB=0)"
qemu=$(command -v qemu-system-x86_64 || true)
[ -n "$qemu" ] || skip "qemu-system-x86_64 is not installed (scripts/install-deps.sh installs qemu-system-x86)"
busybox=$(command -v busybox || true)
# The initramfs holds nothing but busybox, so it must need no libraries.
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 || skip "no static busybox (package busybox-static)"
kernel=""
for k in $(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V -r); do
  v=${k#/boot/vmlinuz-}
  if [ -r "$k" ] && [ -f "/lib/modules/$v/kernel/drivers/usb/serial/ftdi_sio.ko" ]; then
    kernel=$k
    kver=$v
    break
  fi
done
[ -n "$kernel" ] || skip "no Debian kernel with its modules in /boot and /lib/modules (package linux-image-amd64)"
checks="$build/tests/vm/vmlab_checks"
[ -x "$build/tests/vm/vmlab_relay" ] || { echo "vmlab: $build/tests/vm/vmlab_relay is not built" >&2; exit 1; }
[ -x "$checks" ] || { echo "vmlab: $checks is not built" >&2; exit 1; }
case "$root$build$out" in
  *[[:space:]]*) skip "the lab needs paths without blanks (source, build and output folders)" ;;
esac

work=$(mktemp -d /tmp/vmlab-XXXXXX)
qemu_pid=""
relay_pid=""
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null || true
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The initramfs: busybox and the modules that reach the host's root (9p over
# virtio); everything else comes from the host's root once it is mounted.
mkdir -p "$work/initramfs/bin" "$work/initramfs/modules" "$work/initramfs"/{proc,sys,dev,host}
cp "$busybox" "$work/initramfs/bin/busybox"
: >"$work/initramfs/modules/order"
for m in $(for w in virtio_pci 9pnet_virtio 9p; do modprobe -S "$kver" --show-depends "$w"; done |
    awk '$1 == "insmod" { print $2 }'); do
  name=$(basename "$m")
  grep -qx "$name" "$work/initramfs/modules/order" && continue
  case "$m" in
    *.ko) cp "$m" "$work/initramfs/modules/" ;;
    *.ko.xz) xz -dc "$m" >"$work/initramfs/modules/${name%.xz}"; name=${name%.xz} ;;
    *.ko.zst) zstd -qdc "$m" >"$work/initramfs/modules/${name%.zst}"; name=${name%.zst} ;;
  esac
  echo "$name" >>"$work/initramfs/modules/order"
done
cp "$root/tests/vm/init.sh" "$work/initramfs/init"
chmod +x "$work/initramfs/init"
(cd "$work/initramfs" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

# The kernel unpacked once on the host: its own unpacking under emulation
# takes longer than the rest of the boot. QEMU starts the ELF image directly.
vmlinux="$build/tests/vm/vmlinux-$kver"
if [ ! -s "$vmlinux" ] || [ "$vmlinux" -ot "$kernel" ]; then
  offset=$(grep -abo $'\xfd7zXZ\x00' "$kernel" | head -n 1 | cut -d: -f1 || true)
  if [ -n "$offset" ] && tail -c +$((offset + 1)) "$kernel" | xz -dc --single-stream \
      >"$vmlinux.tmp" 2>/dev/null && [ "$(head -c 4 "$vmlinux.tmp" | od -An -c | tr -d ' ')" = '177ELF' ]; then
    mv "$vmlinux.tmp" "$vmlinux"
  else
    rm -f "$vmlinux.tmp"
    vmlinux=$kernel
  fi
fi

# What the guest runs, read by init from the scratch folder.
cat >"$out/params.sh" <<PARAMS
root='$root'
build='$build'
out='$out'
pulls='$pulls'
filter='$filter'
PARAMS
# Limits the checks take from the environment (VMLAB_STALL_LIMIT_MS, ...).
env | grep -E '^VMLAB_[A-Z_]+_MS=[0-9]+$' | sed 's/^/export /' >>"$out/params.sh" || true
# VMLAB_PERF=1: a profile of the whole guest while the checks run (perf.data).
if [ "${VMLAB_PERF:-}" = 1 ]; then
  echo "export VMLAB_PERF=1" >>"$out/params.sh"
fi
# Another build of the program to run the checks on, held against this one.
if [ -n "${VMLAB_DRALVO:-}" ]; then
  echo "export VMLAB_DRALVO='$(realpath "$VMLAB_DRALVO")'" >>"$out/params.sh"
fi

# KVM only where it really runs a guest (a nested one may hang in the boot):
# the kernel must reach its first process and end within a few seconds. The
# checks are sized for TCG, which is what a machine without KVM gets.
accel=tcg
if [ "${VMLAB_KVM:-1}" != 0 ] && [ -r /dev/kvm ] && [ -w /dev/kvm ] &&
    timeout 4 "$qemu" -accel kvm -machine q35 -m 128 -nodefaults -nographic -no-reboot \
      -kernel "$vmlinux" -initrd "$work/initrd.gz" -serial stdio \
      -append "console=ttyS0 panic=-1 rdinit=/bin/busybox" </dev/null 2>/dev/null |
    grep -q "Kernel panic"; then
  accel=kvm
fi

s=$work/sock
mkdir -p "$s"
timeout_s=${VMLAB_TIMEOUT:-600}
set +e
# ttyS0: the console. ttyS1: the 16550 under test, wired to the guest's virtio
# port uart-peer. The FTDI adapter is wired to the virtio port ftdi-peer,
# where the checks play the module; the virtio port qmp to this machine's own
# monitor, through which the checks pull and plug the adapter.
timeout -k 10 "$timeout_s" "$qemu" -accel "$accel" -machine q35 -cpu max -m 1536 -smp 2 \
  -nodefaults -nographic -no-reboot -monitor none -serial "file:$out/guest.log" \
  -kernel "$vmlinux" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 panic=-1 ${VMLAB_APPEND:-quiet loglevel=4} vmlab.out=$out" \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=scratch,path="$out",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=scratch,mount_tag=scratch \
  -device virtio-serial-pci,id=vser \
  -chardev socket,id=uart,path="$s/uart",server=on,wait=off \
  -device isa-serial,chardev=uart \
  -chardev socket,id=uartpeer,path="$s/uart-peer",server=on,wait=off \
  -device virtserialport,chardev=uartpeer,name=uart-peer \
  -chardev socket,id=ftdi,path="$s/ftdi",server=on,wait=off \
  -chardev socket,id=ftdipeer,path="$s/ftdi-peer",server=on,wait=off \
  -device virtserialport,chardev=ftdipeer,name=ftdi-peer \
  -chardev socket,id=qmp,path="$s/qmp",server=on,wait=off \
  -mon chardev=qmp,mode=control \
  -chardev socket,id=qmppeer,path="$s/qmp-peer",server=on,wait=off \
  -device virtserialport,chardev=qmppeer,name=qmp \
  -device qemu-xhci,id=xhci \
  -device usb-serial,id=ftdi0,bus=xhci.0,chardev=ftdi,serial=LAB0001 \
  </dev/null >"$work/qemu.out" 2>&1 &
qemu_pid=$!
# The wires between the ports, outside the machine (see tests/vm/Relay.cpp).
"$build/tests/vm/vmlab_relay" "$s/uart:$s/uart-peer" "$s/ftdi:$s/ftdi-peer" "$s/qmp:$s/qmp-peer" \
  2>"$out/relay.txt" &
relay_pid=$!
wait "$qemu_pid"
rc=$?
qemu_pid=""
wait "$relay_pid" 2>/dev/null
relay_pid=""
set -e
echo "accel=$accel" >"$out/done.info"
if [ ! -s "$out/guest.log" ] && [ $rc -ne 124 ]; then
  skip "QEMU could not start here: $(head -n 1 "$work/qemu.out")"
fi
if [ ! -f "$out/results.xml" ]; then
  cat "$work/qemu.out" >&2
  tail -n 40 "$out/guest.log" >&2 2>/dev/null || true
  if [ $rc -eq 124 ]; then
    echo "vmlab: the guest did not finish within $timeout_s s" >&2
  fi
  exit 1
fi
grep -h '^guest: \|^vmlab: ' "$out/guest.log" | tr -d '\r' >&2 || true
echo "vmlab: $accel, $SECONDS s from the start to the report" >&2
