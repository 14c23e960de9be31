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
mount -t tmpfs tmp /host/tmp
mount -t tmpfs run /host/run
mkdir -p "/host$out"
mount -t 9p -o "$opts" scratch "/host$out" || fail "the scratch folder cannot be mounted"
. "/host$out/params.sh"
echo "vmlab: host root mounted at $(cut -d' ' -f1 /proc/uptime) s"
chroot /host /bin/bash "$root/tests/vm/guest.sh" "$out/params.sh" >/dev/console 2>&1
echo "vmlab: guest done"
sync
poweroff -f
