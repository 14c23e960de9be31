#include "platform/SerialOpenFailure.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

OpenFailure classifyOpenError(int error) {
    switch (error) {
    case 0:
        return OpenFailure::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return OpenFailure::Missing;
    case EACCES:
    case EPERM:
        return OpenFailure::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK: // the exclusive lock is taken
        return OpenFailure::Busy;
    case ENOTTY:
        return OpenFailure::NotSerial;
    default:
        return OpenFailure::Other;
    }
}

std::string systemErrorText(int error) {
    return std::strerror(error);
}

std::vector<DeviceHolder> processesHolding(const std::string& devicePath,
                                           const std::string& procRoot) {
    std::vector<DeviceHolder> holders;
    struct stat device {};
    if (stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return holders;
    const int self = int(getpid());
    DIR* proc = opendir(procRoot.c_str());
    if (!proc)
        return holders;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const std::string base = procRoot + "/" + entry->d_name;
        DIR* fds = opendir((base + "/fd").c_str());
        if (!fds)
            continue; // gone, or another user's
        bool holds = false;
        while (dirent* fd = readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            struct stat open {};
            // stat follows the fd link to the file it stands for.
            if (stat((base + "/fd/" + fd->d_name).c_str(), &open) == 0 && S_ISCHR(open.st_mode) &&
                open.st_rdev == device.st_rdev) {
                holds = true;
                break;
            }
        }
        closedir(fds);
        if (!holds)
            continue;
        DeviceHolder holder;
        holder.pid = int(pid);
        std::ifstream comm(base + "/comm");
        std::getline(comm, holder.name);
        holders.push_back(holder);
    }
    closedir(proc);
    std::sort(holders.begin(), holders.end(),
              [](const DeviceHolder& a, const DeviceHolder& b) { return a.pid < b.pid; });
    return holders;
}

std::string deviceGroup(const std::string& devicePath) {
    struct stat node {};
    if (stat(devicePath.c_str(), &node) != 0)
        return {};
    if (const group* g = getgrgid(node.st_gid))
        return g->gr_name;
    return {};
}

} // namespace platform
