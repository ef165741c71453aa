#pragma once

// Started from a console (cmd, PowerShell), a windows program gets no
// console of its own, and what it writes to standard output and standard
// error goes nowhere: the driver library's log lines among them. This joins
// the console of the process that started the program, when it has one, and
// points those two streams at it, but only where they are not already
// redirected, so that "updater > log.txt" keeps writing to the file. With
// both redirected it stays out of the console. Once in it, the updater
// ignores the console's Ctrl+C and Ctrl+Break, and lets go of the console
// when it closes, so that neither ends an update.
class ParentConsole
{
public:
    // Call it once, before anything writes to the streams.
    static void attach();

    ParentConsole() = delete;
};
