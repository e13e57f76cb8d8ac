#pragma once
// The end of a session (log-out, shutdown, `kill`, Ctrl+C in the terminal) reaches the program
// as SIGTERM, SIGHUP or SIGINT. Left to their default, these end it on the spot: the archive
// lists and the port choice are not written and the folder's lock stays behind.
namespace plat {

// From now on the first of these signals closes every window as the operator would, so that
// the main window's close writes what it writes and the message loop ends; the program then
// returns from main normally. Every further signal closes whatever window is still open (a
// message box that the close brought up). A signal that the starter left ignored (nohup)
// stays ignored. Call once, after the application object exists.
void closeWindowsOnTermination();

}  // namespace plat
