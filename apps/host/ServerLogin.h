#pragma once
// How the host's connections to the application server log in: TLS and the
// trusted authorities, the user and the password, from the host's settings
// (Varneth), made the default of every connection (TNetConnection's
// SetDefaultSecurity) before any screen opens; so are the site's other
// servers (SetDefaultAlternates), which a connection turns to when its
// server is lost.
//
// The station is this machine (its host name) and its user the server's user
// of the settings, else the system's: the name other stations see with this
// one's changes and presence (TNetConnection::SetDefaultStation).
//
// When a user is set and no password file gave the password, the password
// is asked through the dialog service; a cancelled prompt leaves it empty,
// and the server then refuses the connections with its own message. It is
// not asked when no server of the settings could be sent it (no TLS, and
// none on this machine): the connections then say why they are not made.
void ApplyServerLogin();
