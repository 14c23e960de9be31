#!/bin/sh
# Two rules of the code base that a build does not catch, checked before the
# tests (make test, and so CI):
#  1. POSIX system calls and system headers are used in platform/ only; the
#     rest of the program speaks to the system through platform/'s functions.
#  2. Every tracked C++ file is formatted as .clang-format says
#     (make format fixes what this reports).
# Exit status 0 when both hold, 1 otherwise, with every offending line listed.
set -eu
cd "$(dirname "$0")/.."

# The folders of the program itself. Left out on purpose:
#   platform/       where these calls belong;
#   tests/, bench/  they play the system and the user around the program
#                   (pseudo-terminals, child processes, sockets, descriptor
#                   limits), which is system work by nature;
#   tools/gsmsim/   a separate program, the simulated module, which owns its
#                   pseudo-terminal and is not built on platform/.
# tools/dralvo-msg and tools/mkbeep belong to the product and are checked.
checked="app appinfo comm history terminal util widgets tools/dralvo-msg tools/mkbeep"

# System headers of POSIX and Linux (C++'s own <cstdio>, <csignal>, ... are fine).
headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|fcntl|poll|termios|pty|dirent|dlfcn|pthread|spawn|sched|syslog|pwd|grp|semaphore|mqueue|netdb|(sys|linux|asm|arpa|netinet)/[[:alnum:]_/]+)\.h>'

# Calls whose names are distinctive: found called plainly or as ::name(.
distinct='clock_gettime|clock_nanosleep|nanosleep|usleep|gettid|getpid|getppid|getuid|geteuid|getgid|setsid|setpriority|getpriority|sched_[a-z_]+|realpath|readlink|readlinkat|symlink|fstat|fstatat|lstat|lseek|pread|pwrite|ftruncate|fsync|fdatasync|flock|fcntl|ioctl|dup2|dup3|pipe2|ppoll|epoll_[a-z_]+|eventfd|inotify_[a-z_0-9]+|accept4|getsockopt|setsockopt|sendmsg|recvmsg|fork|vfork|execl|execlp|execle|execv|execve|execvp|execvpe|waitpid|sigaction|sigprocmask|pthread_[a-z_]+|mkdtemp|mkstemp|mkfifo|fchmod|chmod|chown|fchown|umask|opendir|readdir|closedir|isatty|tcgetattr|tcsetattr|tcdrain|tcflush|cfsetispeed|cfsetospeed|cfmakeraw|openpty|posix_openpt|grantpt|unlockpt|ptsname|mmap|munmap|shm_open|shm_unlink|sysconf|uname|getcwd|fopen|fdopen|popen|pclose'
# Names that members and Qt share (close(), connect(), accept(), ...): only the
# explicit global call ::name( is a system call.
shared='open|close|read|write|stat|access|unlink|rename|mkdir|rmdir|link|socket|bind|listen|accept|connect|send|recv|select|shutdown|poll|pipe|dup|kill|wait|sleep|chdir|truncate|nice|system'
calls="(^|[^[:alnum:]_.>:])(::)?($distinct)[[:space:]]*\(|(^|[^[:alnum:]_:])::($shared)[[:space:]]*\("
# What only the system's own file trees give away.
paths='"/(proc|sys)/'

failed=0
# shellcheck disable=SC2086 # the folder list is split on purpose
files=$(git ls-files -- $(for d in $checked; do printf '%s/*.cpp %s/*.h ' "$d" "$d"; done))
for f in $files; do
    # Comments say what the code stands for; only code counts.
    found=$(sed -e 's|//.*$||' "$f" | grep -nE -e "$headers" -e "$calls" -e "$paths" || true)
    if [ -n "$found" ]; then
        printf '%s\n' "$found" | sed "s|^|$f:|"
        failed=1
    fi
done
if [ "$failed" -ne 0 ]; then
    echo "check-source: system calls outside platform/ (above); give them a platform/ function" >&2
fi

if ! command -v clang-format >/dev/null 2>&1; then
    echo "check-source: clang-format is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
fi
if ! git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "check-source: files not formatted as .clang-format says (above); run make format" >&2
    failed=1
fi
exit "$failed"
