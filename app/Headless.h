#pragma once
// The console without a window (dralvo --headless): the same session as the
// window's, with a terminal that only logs. It connects at once, keeps
// reconnecting, runs the automation of the stored settings and answers the
// control socket; its status lines (the port's state line, notices, log
// faults) go to standard error with their time stamps, for a journal to keep.
// SIGTERM, SIGINT and SIGHUP end it once everything is written.
struct StartOptions;

// Runs until a termination signal; the exit status. Needs an application
// object without a display (QCoreApplication), made by the caller.
int RunHeadless(const StartOptions& options);
