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
    std::string output; // its standard output (and standard error when asked for)
    std::string why;    // NotStarted: the reason
};

// Starts `program` with `arguments`, reads its standard output until it ends or `seconds` have
// passed, and kills it then. Standard error joins the output when `withErrors` is set and is
// thrown away otherwise; standard input is empty.
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments,
                  double seconds, bool withErrors = false);

// How a crash shows: "SIGSEGV" on Linux, "exception 0xC0000005" on Windows.
std::string crashName(unsigned long code);

// The file of the running program, to start it again; empty when that cannot be told.
std::string ownProgram();

// Keeps a crash of this process from opening a debugger or dialog, and from leaving a core
// file: it simply ends with its signal or exception code, for the parent to report.
void dieQuietlyOnCrash();

// From here on, standard output goes nowhere, so that whatever a module prints can neither flood
// nor garble the reports; writeReport still reaches where standard output went before.
void keepOutputForReports();
void writeReport(const std::string& text);
