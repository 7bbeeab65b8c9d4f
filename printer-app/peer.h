// Who is on the other end of PAPPL's control socket (a local domain socket): the kernel says, as
// it does for CUPS's. Root, the server's own user and the members of lpadmin and of admin-group
// administer through it; any other user prints, and owns the jobs sent, under the name of their
// own uid.
#pragma once

#include <pappl/pappl.h>

#include <string>

// A group whose members administer through the control socket besides "lpadmin" (CUPS's
// printer administrators): admin-group, when given.
void setSocketAdminGroup(const char* group);

// True when the client came in on the control socket.
bool onControlSocket(pappl_client_t* client);

// True when the control socket's peer is root, the server's own user or a member of lpadmin or
// of admin-group.
bool peerIsAdmin(pappl_client_t* client);

// The user name of the control socket's peer (its uid's, or the uid itself when it has no name).
std::string peerUserName(pappl_client_t* client);
