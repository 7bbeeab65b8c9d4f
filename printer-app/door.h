// The checks every request passes before PAPPL acts on it (door.cpp says which).
#pragma once

// A name clients may give in the Host header besides the server's own host names (the
// listen-hostname and server-hostname options); "*" adds none.
void allowHostName(const char* name);
