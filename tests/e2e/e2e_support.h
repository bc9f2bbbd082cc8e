// Helpers for end-to-end tests: programs beside the test exe, a mailbox file per test, the
// automation server's registration, and a check that no server process outlives a run.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

#include "host/mailbox/mailbox.h"

// A file or program in the directory of the running test exe.
std::string BesideTest(const std::string& name);

// Runs a command line to its end; its output (stdout and stderr) in *output. A child that the
// program started and left running does not keep this waiting. Returns the exit code, or -1
// when the program could not start or did not end within the timeout.
int RunProgram(const std::string& commandLine, std::string* output, DWORD timeoutMs = 60000);

// tb_mailserver register <mailbox> with a short maximum lifetime (seconds), or unregister.
bool RegisterServer(const std::string& mailboxPath, unsigned lifetimeSeconds = 60);
bool UnregisterServer();

// Waits until no tb_mailserver.exe process is left; ends any that are still there at the
// timeout (those are the tests' own) and says how many it had to end.
int EndLeftoverServers(DWORD timeoutMs = 10000);
// The tb_mailserver.exe processes running now.
std::vector<DWORD> ServerProcesses();

// A mailbox with one default store and one message per Group value; a null value is a message
// without the property, "other:" at the start makes the message a non-mail item.
Mailbox MailboxWithGroups(const char* const* groups, size_t count);
std::string MessageId(size_t index);
std::string DefaultStoreId();

// The value of "Group" on the message, or "(none)" when it has no such property.
std::string GroupOf(const Mailbox& box, const std::string& entryId);
