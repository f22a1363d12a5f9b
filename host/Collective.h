#pragma once
// What the host needs from the processes of a run that holds a case in pieces (one group of
// pieces per process, all running the same session), behind an interface so that the host
// itself stays free of MPI: host/parallel has the MPI one, the tests a stand-in.
//
// Every call is collective: each process makes the same calls in the same order, and each
// returns the same answer on every process.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "calculator/FunctionCalculator.h"

namespace zel::host {

// Thrown from an exchange that another process could not join because it failed and went to
// the end of the run (finish); the process that gets it goes there too.
class PeerFailure : public std::runtime_error {
public:
    PeerFailure() : std::runtime_error("another process failed") {}
};

class Collective {
public:
    virtual ~Collective() = default;
    virtual int rank() const = 0;
    virtual int size() const = 0;

    // The partial results of all processes combined in rank order (combinePartial). `failure`
    // is this process's error message (empty when it has none); on return it is the message of
    // the lowest process that failed, or empty when none did (then the total is meaningless).
    virtual PartialResult combine(const PartialResult& mine, std::string& failure) = 0;
    // Per key of this process, 1 when another process has the same key.
    virtual std::vector<char> sharedKeys(std::span<const std::uint64_t> keys) = 0;
    // Per key of this process, 1 when no lower process has the same key (this one owns it).
    virtual std::vector<char> ownedKeys(std::span<const std::uint64_t> keys) = 0;
    // Per item (the same items on every process, in the same order), 1 on the process that
    // gives it the highest score, the lowest of them on a tie; 0 elsewhere.
    virtual std::vector<char> bestScores(std::span<const int> scores) = 0;
    // The message of the lowest process with a non-empty one, or empty.
    virtual std::string firstFailure(const std::string& mine) = 0;
    // The largest of the processes' values.
    virtual int maxOf(int value) = 0;
    // Every process's bytes, in rank order (this one's among them).
    virtual std::vector<std::vector<char>> allGather(std::span<const char> mine) = 0;

    // After reading: a process that holds no piece (more processes than pieces) says so and
    // leaves the exchanges to the others, going straight to finish. Collective on all.
    virtual void setIdle(bool idle) = 0;

    // The end of a run, on every process however it went (also after an exception or a
    // PeerFailure): waits until all processes are here. Returns the message of the lowest
    // process with a non-empty `message`, and sets `failed` when any process had `failedHere`.
    virtual std::string finish(const std::string& message, bool failedHere, bool& failed) = 0;
};

} // namespace zel::host
