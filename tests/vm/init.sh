#!/bin/busybox sh
# The lab guest's first process: mounts the host's root (read-only) and the
# scratch folder, then runs the checks there with the host's own programs.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod "/modules/$m"; done
out=$(sed -n 's/.*vmlab\.out=\([^ ]*\).*/\1/p' /proc/cmdline)
opts=trans=virtio,version=9p2000.L,msize=262144
fail() {
  echo "vmlab: $*"
  poweroff -f
}
mount -t 9p -o "$opts,ro,cache=loose" hostroot /host || fail "the host's root cannot be mounted"
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/pts /host/dev/shm
mount -t devpts -o ptmxmode=666 devpts /host/dev/pts
mount -t tmpfs tmp /host/dev/shm
# The guest's /tmp is its own; the host's stays reachable for a source or
# build folder that lives there (a checkout in /tmp).
mkdir -p /hosttmp /scratch
mount -o bind /host/tmp /hosttmp
mount -t tmpfs tmp /host/tmp
mount -t tmpfs run /host/run
mount -t 9p -o "$opts" scratch /scratch || fail "the scratch folder cannot be mounted"
. /scratch/params.sh
for path in "$root" "$build" "$out"; do
  case "$path" in
    /tmp/?*)
      top=${path#/tmp/}
      top=${top%%/*}
      mkdir -p "/host/tmp/$top"
      mountpoint -q "/host/tmp/$top" || mount -o bind "/hosttmp/$top" "/host/tmp/$top"
      ;;
  esac
done
mkdir -p "/host$out" 2>/dev/null
mount -o bind /scratch "/host$out" || fail "the scratch folder cannot be placed at $out"
echo "vmlab: host root mounted at $(cut -d' ' -f1 /proc/uptime) s"
chroot /host /bin/bash "$root/tests/vm/guest.sh" "$out/params.sh" >/dev/console 2>&1
echo "vmlab: guest done"
sync
poweroff -f
