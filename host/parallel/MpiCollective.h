#pragma once
// The host's exchanges between the processes of an MPI run (Collective over MPI_COMM_WORLD).
//
// Every exchange starts with one MPI_Allreduce of a fixed record that also carries which
// exchange each process is at. Processes can fall out of step when one of them fails (a piece
// it can't read, a session statement that fails only on its pieces) and goes straight to the
// end of the run: then the others see that, throw PeerFailure from the exchange they are at,
// and come to the end too, where finish() waits for all of them. So no process waits forever
// for one that gave up. A calculation takes that one MPI_Allreduce and nothing else.
#include <string>

#include "host/Collective.h"

namespace zel::host {

class MpiCollective : public Collective {
public:
    // MPI is initialised (MPI_Init) by the caller and finalised after this is gone.
    MpiCollective();
    ~MpiCollective() override;
    MpiCollective(const MpiCollective&) = delete;
    MpiCollective& operator=(const MpiCollective&) = delete;

    int rank() const override { return m_rank; }
    int size() const override { return m_size; }
    PartialResult combine(const PartialResult& mine, std::string& failure) override;
    std::vector<char> sharedKeys(std::span<const std::uint64_t> keys) override;
    std::vector<char> ownedKeys(std::span<const std::uint64_t> keys) override;
    std::vector<char> bestScores(std::span<const int> scores) override;
    std::string firstFailure(const std::string& mine) override;
    int maxOf(int value) override;
    std::vector<std::vector<char>> allGather(std::span<const char> mine) override;

    void setIdle(bool idle) override;
    std::string finish(const std::string& message, bool failedHere, bool& failed) override;

private:
    struct Record;
    // Every process's keys to all; per key of this one, the number of processes holding it
    // and the lowest of them.
    void holders(std::span<const std::uint64_t> keys, std::vector<int>& count, std::vector<int>& lowest);
    Record exchange(double step, bool failedHere, const PartialResult* partial, bool world = false);

    void* m_comm = nullptr; // the processes that hold pieces (an MPI_Comm, kept opaque here)
    int m_rank = 0;
    int m_size = 1;
    void* m_op = nullptr; // the MPI handles of the record's reduction, kept opaque here
};

} // namespace zel::host
