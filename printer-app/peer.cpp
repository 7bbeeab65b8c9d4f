// The control socket's peer, from SO_PEERCRED and the system's user and group databases.
#include "peer.h"

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

std::string gAdminGroup;  // admin-group, when given

bool peerCredentials(pappl_client_t* client, ucred& credentials)
{
    socklen_t size = sizeof credentials;
    int fd = httpGetFd(papplClientGetHTTP(client));
    return fd >= 0 && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && size == sizeof credentials;
}

bool userInGroup(uid_t uid, const std::string& groupName)
{
    std::vector<char> text(16384);
    passwd user{}, *foundUser = nullptr;
    group grp{}, *foundGroup = nullptr;
    if (getpwuid_r(uid, &user, text.data(), text.size() / 2, &foundUser) != 0 || !foundUser)
        return false;
    if (getgrnam_r(groupName.c_str(), &grp, text.data() + text.size() / 2, text.size() / 2, &foundGroup) != 0 ||
        !foundGroup)
        return false;
    std::vector<gid_t> groups(256);
    int count = int(groups.size());
    if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0)
        return false;
    for (int i = 0; i < count; ++i)
        if (groups[size_t(i)] == grp.gr_gid)
            return true;
    return false;
}

}  // namespace

void setSocketAdminGroup(const char* group)
{
    if (group && *group)
        gAdminGroup = group;
}

bool onControlSocket(pappl_client_t* client)
{
    http_addr_t* address = httpGetAddress(papplClientGetHTTP(client));
    return address && httpAddrFamily(address) == AF_LOCAL;
}

bool peerIsAdmin(pappl_client_t* client)
{
    ucred credentials{};
    if (!onControlSocket(client) || !peerCredentials(client, credentials))
        return false;
    return credentials.uid == 0 || credentials.uid == geteuid() || userInGroup(credentials.uid, "lpadmin") ||
           (!gAdminGroup.empty() && userInGroup(credentials.uid, gAdminGroup));
}

std::string peerUserName(pappl_client_t* client)
{
    ucred credentials{};
    if (!peerCredentials(client, credentials))
        return "nobody";
    char text[4096];
    passwd user{}, *found = nullptr;
    if (getpwuid_r(credentials.uid, &user, text, sizeof text, &found) == 0 && found)
        return user.pw_name;
    return std::to_string(credentials.uid);
}
