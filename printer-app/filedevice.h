// file:// devices, off unless the server's administrator turns them on (server option
// file-device=yes, as CUPS's FileDevice): a client that may add a printer could otherwise make
// the server write any file it can. Even then only printers' character devices (parallel, USB
// printer class, serial) and /dev/null are opened, never created, and never through a link.
#pragma once

// Registers the file scheme for character devices (file-device=yes).
void addCharacterFileDevice();

// False for a file:// device URI while file devices are off (PAPPL itself would take any file
// it may write).
bool deviceUriAllowed(const char* uri);
