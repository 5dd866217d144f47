// Runs a program as a child process with a time limit and collects what it prints.
#pragma once

#include <string>
#include <vector>

struct ChildRun {
    enum class End {
        Exited,   // ended on its own; `code` is its exit status
        Crashed,  // killed by a signal or an exception; `code` is the signal or exception code
        TimedOut, // still running at the time limit, so it was killed
        NotStarted,
    };
    End end = End::NotStarted;
    unsigned long code = 0;
    std::string output; // what it printed, when kept
    std::string why;    // NotStarted: the reason
};

// What becomes of a child's printing: thrown away, or kept in ChildRun::output.
enum class ChildOutput {
    Discard,
    Keep,          // standard output; standard error is thrown away
    KeepWithErrors // standard output and standard error, in the order printed
};

// Starts `program` with `arguments`, waits until it ends or `seconds` have passed, and kills it
// then. Standard input is empty. The child has this process's environment, with the NAME=value
// variables of `environment` added (over any of the same name; Linux only).
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments,
                  double seconds, ChildOutput output = ChildOutput::Discard,
                  const std::vector<std::string>& environment = {});

// How a crash shows: "SIGSEGV" on Linux, "exception 0xC0000005" on Windows.
std::string crashName(unsigned long code);

// The file of the running program, to start it again; empty when that cannot be told.
std::string ownProgram();

// Keeps a crash of this process from opening a debugger or dialog, and from leaving a core
// file: it simply ends with its signal or exception code, for the parent to report.
void dieQuietlyOnCrash();
