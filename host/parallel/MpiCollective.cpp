#include "host/parallel/MpiCollective.h"

#include <mpi.h>

#include <algorithm>
#include <limits>
#include <unordered_map>

namespace zel::host {

namespace {

// Which exchange a process is at; kFinish is the end of the run.
constexpr double kFinish = 1, kCombine = 2, kShared = 3, kFailure = 4, kMax = 5, kOwned = 6, kIdle = 7, kBest = 8,
                 kGather = 9;

constexpr int kFields = 14;
constexpr int kValues = 6; // where the PartialResult's values start
constexpr double kNone = std::numeric_limits<double>::infinity();

// The record: [0] lowest step, [1] highest step, [2] lowest failing rank (inf: none), [3] the
// number of processes where the location exists, [4] the lowest rank that knows the result's
// units, [5] the number that don't, then the eight values of a PartialResult. Combined in rank order (a non-commutative
// operation), so that the first probe found is the lowest process's, as one process would find it.
void combineRecords(void* in, void* inout, int* len, MPI_Datatype*) {
    auto* a = static_cast<double*>(in); // the lower ranks
    auto* b = static_cast<double*>(inout);
    for (int r = 0; r < *len; ++r, a += kFields, b += kFields) {
        PartialResult lower, upper;
        std::copy(a + kValues, a + kFields, lower.values.begin());
        std::copy(b + kValues, b + kFields, upper.values.begin());
        combinePartial(lower, upper);
        b[0] = std::min(a[0], b[0]);
        b[1] = std::max(a[1], b[1]);
        b[2] = std::min(a[2], b[2]);
        b[3] = a[3] + b[3];
        b[4] = std::min(a[4], b[4]);
        b[5] = a[5] + b[5];
        std::copy(lower.values.begin(), lower.values.end(), b + kValues);
    }
}

struct Handles {
    MPI_Op op;
    MPI_Datatype record; // kFields doubles: reductions see whole records, never parts of one
};

MPI_Op opOf(void* p) { return static_cast<Handles*>(p)->op; }
MPI_Comm commOf(void* p) { return *static_cast<MPI_Comm*>(p); }
MPI_Datatype recordOf(void* p) { return static_cast<Handles*>(p)->record; }

} // namespace

struct MpiCollective::Record {
    double fields[kFields];
};

MpiCollective::MpiCollective() {
    MPI_Comm_rank(MPI_COMM_WORLD, &m_rank);
    MPI_Comm_size(MPI_COMM_WORLD, &m_size);
    auto* h = new Handles;
    MPI_Op_create(&combineRecords, 0, &h->op);
    MPI_Type_contiguous(kFields, MPI_DOUBLE, &h->record);
    MPI_Type_commit(&h->record);
    m_op = h;
    m_comm = new MPI_Comm(MPI_COMM_WORLD);
}

void MpiCollective::setIdle(bool idle) {
    exchange(kIdle, false, nullptr);
    // The lowest ranks hold the pieces (piecesOfRank), so ranks keep their numbers.
    MPI_Comm active = MPI_COMM_NULL;
    MPI_Comm_split(MPI_COMM_WORLD, idle ? MPI_UNDEFINED : 0, m_rank, &active);
    if (active != MPI_COMM_NULL) {
        *static_cast<MPI_Comm*>(m_comm) = active;
        MPI_Comm_size(active, &m_size);
    }
}

MpiCollective::~MpiCollective() {
    auto* h = static_cast<Handles*>(m_op);
    MPI_Op_free(&h->op);
    MPI_Type_free(&h->record);
    delete h;
    auto* comm = static_cast<MPI_Comm*>(m_comm);
    if (*comm != MPI_COMM_WORLD) MPI_Comm_free(comm);
    delete comm;
}

MpiCollective::Record MpiCollective::exchange(double step, bool failedHere, const PartialResult* partial, bool world) {
    Record mine{};
    mine.fields[0] = step;
    mine.fields[1] = step;
    mine.fields[2] = failedHere ? double(m_rank) : kNone;
    PartialResult empty;
    empty.values[4] = kNone;
    empty.values[5] = -kNone;
    const PartialResult& p = partial != nullptr ? *partial : empty;
    mine.fields[3] = p.present ? 1 : 0;
    mine.fields[4] = p.unitsKnown ? double(m_rank) : kNone;
    mine.fields[5] = p.unitsKnown ? 0 : 1;
    std::copy(p.values.begin(), p.values.end(), mine.fields + kValues);
    Record all{};
    MPI_Allreduce(mine.fields, all.fields, 1, recordOf(m_op), opOf(m_op), world ? MPI_COMM_WORLD : commOf(m_comm));
    if (step != kFinish && (all.fields[0] != step || all.fields[1] != step)) throw PeerFailure();
    return all;
}

PartialResult MpiCollective::combine(const PartialResult& mine, std::string& failure) {
    const Record all = exchange(kCombine, !failure.empty(), &mine);
    PartialResult total;
    total.units = mine.units;
    total.present = all.fields[3] > 0;
    if (all.fields[5] > 0 && all.fields[4] != kNone) {
        // Only when some process could not tell the units: from the lowest that could.
        const int root = int(all.fields[4]);
        int length = int(total.units.size());
        MPI_Bcast(&length, 1, MPI_INT, root, commOf(m_comm));
        total.units.resize(std::size_t(length));
        MPI_Bcast(total.units.data(), length, MPI_CHAR, root, commOf(m_comm));
    }
    total.unitsKnown = all.fields[4] != kNone;
    std::copy(all.fields + kValues, all.fields + kFields, total.values.begin());
    if (all.fields[2] != kNone) {
        // Only on failure: the message of the lowest failing process, from it to all.
        const int root = int(all.fields[2]);
        int length = int(failure.size());
        MPI_Bcast(&length, 1, MPI_INT, root, commOf(m_comm));
        failure.resize(std::size_t(length));
        MPI_Bcast(failure.data(), length, MPI_CHAR, root, commOf(m_comm));
    } else {
        failure.clear();
    }
    return total;
}

void MpiCollective::holders(std::span<const std::uint64_t> keys, std::vector<int>& count, std::vector<int>& lowest) {
    // TODO: every process gets every key (O(keys of the whole case) each); past a few hundred
    // processes only the neighbours' keys (by the pieces' bounding boxes) should travel.
    const int n = int(keys.size());
    std::vector<int> counts(static_cast<std::size_t>(m_size));
    std::vector<int> displs(static_cast<std::size_t>(m_size), 0);
    MPI_Allgather(&n, 1, MPI_INT, counts.data(), 1, MPI_INT, commOf(m_comm));
    std::size_t total = 0;
    for (int r = 0; r < m_size; ++r) {
        displs[std::size_t(r)] = int(total);
        total += std::size_t(counts[std::size_t(r)]);
    }
    std::vector<std::uint64_t> all(total);
    MPI_Allgatherv(keys.data(), n, MPI_UINT64_T, all.data(), counts.data(), displs.data(), MPI_UINT64_T,
                   commOf(m_comm));
    struct Seen {
        int processes = 0;
        int lowest = -1;
        int last = -1; // a key twice in one process counts once
    };
    std::unordered_map<std::uint64_t, Seen> seen;
    seen.reserve(total);
    for (int r = 0; r < m_size; ++r)
        for (int i = displs[std::size_t(r)]; i < displs[std::size_t(r)] + counts[std::size_t(r)]; ++i) {
            Seen& s = seen[all[std::size_t(i)]];
            if (s.last == r) continue;
            if (s.lowest < 0) s.lowest = r;
            s.last = r;
            ++s.processes;
        }
    count.resize(keys.size());
    lowest.resize(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const Seen& s = seen[keys[i]];
        count[i] = s.processes;
        lowest[i] = s.lowest;
    }
}

std::vector<char> MpiCollective::sharedKeys(std::span<const std::uint64_t> keys) {
    exchange(kShared, false, nullptr);
    std::vector<int> count, lowest;
    holders(keys, count, lowest);
    std::vector<char> out(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) out[i] = count[i] > 1 ? 1 : 0;
    return out;
}

std::vector<char> MpiCollective::ownedKeys(std::span<const std::uint64_t> keys) {
    exchange(kOwned, false, nullptr);
    std::vector<int> count, lowest;
    holders(keys, count, lowest);
    std::vector<char> out(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) out[i] = lowest[i] == m_rank ? 1 : 0;
    return out;
}

std::vector<char> MpiCollective::bestScores(std::span<const int> scores) {
    const Record all = exchange(kBest, false, nullptr);
    (void)all;
    // Score and rank in one number: the highest score, then the lowest rank, wins MPI_MAX.
    std::vector<long long> mine(scores.size()), best(scores.size());
    for (std::size_t i = 0; i < scores.size(); ++i)
        mine[i] = (long long)scores[i] * (1LL << 32) + ((1LL << 31) - 1 - m_rank);
    MPI_Allreduce(mine.data(), best.data(), int(mine.size()), MPI_LONG_LONG, MPI_MAX, commOf(m_comm));
    std::vector<char> out(scores.size());
    for (std::size_t i = 0; i < scores.size(); ++i) out[i] = best[i] == mine[i] ? 1 : 0;
    return out;
}

std::vector<std::vector<char>> MpiCollective::allGather(std::span<const char> mine) {
    exchange(kGather, false, nullptr);
    // Sizes as 64-bit counts: a boundary of some 1e7 faces is past 2^31 bytes, and MPI's counts
    // and displacements are int, so the bytes travel in rounds of at most 2^31 in all.
    const auto n = static_cast<long long>(mine.size());
    std::vector<long long> sizes(static_cast<std::size_t>(m_size));
    MPI_Allgather(&n, 1, MPI_LONG_LONG, sizes.data(), 1, MPI_LONG_LONG, commOf(m_comm));
    std::vector<std::vector<char>> out(static_cast<std::size_t>(m_size));
    long long longest = 0;
    for (int r = 0; r < m_size; ++r) {
        out[std::size_t(r)].resize(std::size_t(sizes[std::size_t(r)]));
        longest = std::max(longest, sizes[std::size_t(r)]);
    }
    const long long chunk = std::max(1LL, ((1LL << 31) - 1) / m_size);
    std::vector<int> counts(static_cast<std::size_t>(m_size)), displs(static_cast<std::size_t>(m_size));
    std::vector<char> round;
    for (long long at = 0; at < longest; at += chunk) {
        std::size_t total = 0;
        for (int r = 0; r < m_size; ++r) {
            const long long left = std::max(0LL, sizes[std::size_t(r)] - at);
            counts[std::size_t(r)] = int(std::min(left, chunk));
            displs[std::size_t(r)] = int(total);
            total += std::size_t(counts[std::size_t(r)]);
        }
        round.resize(total);
        const int myCount = counts[std::size_t(m_rank)];
        MPI_Allgatherv(myCount > 0 ? mine.data() + at : nullptr, myCount, MPI_CHAR, round.data(), counts.data(),
                       displs.data(), MPI_CHAR, commOf(m_comm));
        for (int r = 0; r < m_size; ++r)
            if (counts[std::size_t(r)] > 0)
                std::copy_n(round.data() + displs[std::size_t(r)], counts[std::size_t(r)],
                            out[std::size_t(r)].data() + at);
    }
    return out;
}

std::string MpiCollective::firstFailure(const std::string& mine) {
    std::string message = mine;
    const Record all = exchange(kFailure, !mine.empty(), nullptr);
    if (all.fields[2] == kNone) return {};
    const int root = int(all.fields[2]);
    int length = int(message.size());
    MPI_Bcast(&length, 1, MPI_INT, root, commOf(m_comm));
    message.resize(std::size_t(length));
    MPI_Bcast(message.data(), length, MPI_CHAR, root, commOf(m_comm));
    return message;
}

int MpiCollective::maxOf(int value) {
    const Record all = exchange(kMax, value != 0, nullptr);
    return all.fields[2] == kNone ? 0 : 1;
}

std::string MpiCollective::finish(const std::string& message, bool failedHere, bool& failed) {
    // Wait here until every process has come to its end: the others' exchanges meanwhile
    // fail with PeerFailure, which brings them here. The processes that hold pieces exchange
    // among themselves (setIdle), so a process that fails after setIdle first meets them
    // there: on the world alone, it would wait for ever beside one waiting in a calculation.
    Record all{};
    if (commOf(m_comm) != MPI_COMM_WORLD) {
        do {
            all = exchange(kFinish, failedHere, nullptr, false);
        } while (all.fields[1] != kFinish);
    }
    do {
        all = exchange(kFinish, failedHere, nullptr, true);
    } while (all.fields[1] != kFinish);
    failed = all.fields[2] != kNone;
    // The first message: the lowest process with one (a process may have failed silently,
    // as a PeerFailure).
    Record told{};
    {
        Record mine{};
        mine.fields[0] = kFinish;
        mine.fields[1] = kFinish;
        mine.fields[2] = message.empty() ? kNone : double(m_rank);
        for (int i = 3; i < kFields; ++i) mine.fields[i] = 0;
        mine.fields[4] = kNone;
        mine.fields[kValues + 4] = kNone;
        mine.fields[kValues + 5] = -kNone;
        MPI_Allreduce(mine.fields, told.fields, 1, recordOf(m_op), opOf(m_op), MPI_COMM_WORLD);
    }
    if (told.fields[2] == kNone) return {};
    std::string out = message;
    const int root = int(told.fields[2]);
    int length = int(out.size());
    MPI_Bcast(&length, 1, MPI_INT, root, MPI_COMM_WORLD);
    out.resize(std::size_t(length));
    MPI_Bcast(out.data(), length, MPI_CHAR, root, MPI_COMM_WORLD);
    return out;
}

} // namespace zel::host
