#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// How to start a program in a child process.
struct SpawnRequest
{
    std::string path;                     // the file to run
    std::vector<std::string> arguments;   // argv, argv[0] included
    std::vector<std::string> environment; // "NAME=value" entries put over ours, for it alone
    int input = -1;                       // descriptors that become its 0, 1 and 2;
    int output = -1;                      // -1 leaves ours
    int errors = -1;
    int control = -1;                  // a descriptor that becomes its 3 (a control channel)
    bool ownProcessGroup = false;      // so that it can be ended with everything it starts
    int umask = -1;                    // set in the child alone: ours is the whole process's
    const char* failureNote = nullptr; // "NAME: " said on its standard error if exec fails
};

// Starts it with vfork and exec, and returns its pid, or -1 with errno set. The child gets the
// default action back for the signals we catch (and for SIGPIPE, SIGTERM, SIGINT and SIGHUP
// when ignored), and an empty signal mask. Everything the child needs is made before the vfork:
// the child makes only system calls until it execs.
pid_t spawnProcess(const SpawnRequest& request);

// The same with a pipe for each standard stream asked for: input gets the write end, output
// and errors the read ends, all close-on-exec. On failure, -1 with errno set, and nothing is
// left open.
pid_t spawnWithPipes(SpawnRequest request, int* input, int* output, int* errors);
