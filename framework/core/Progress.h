#pragma once
// Progress of long operations, shown as a live bar on stderr when stderr is a terminal
// and not at all otherwise.
//
// A tracker is a task made of weighted stages:
//     ProgressTracker progress("Plane");
//     progress.add("ElementSet traversal", 0.9);
//     progress.add("Vertex Culling", 0.1, vertexCount);
//     progress.start("ElementSet traversal");
//     ...
//     progress.start("Vertex Culling");
//     for (...) { progress.increment(); ... }
//     progress.finish();   // or let the destructor do it
// Weights are relative: a stage's share is its weight over the sum of all weights of the
// tracker. A stage with a step count advances with increment(); one without a count
// jumps from 0 to full when the next stage starts or the tracker finishes.
//
// Nesting: a tracker constructed while another one is live becomes a sub-task of that
// tracker's current stage and fills exactly that stage's share; when the inner tracker
// finishes (or is destroyed) the outer stage counts as complete. Trackers must therefore
// be destroyed in reverse order of construction (they are meant to live on the stack).
//
// increment() costs an integer add and a compare; the display is refreshed only when a
// stage crosses a hundredth of its count, and redrawn at most every 100 ms.
// Single-threaded: trackers are used on the host's command thread only.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace zel {

class ProgressTracker {
public:
    // Display policy (host setting): Auto draws only when stderr is a terminal.
    enum class Display { Auto, Never, Always };

    explicit ProgressTracker(std::string name = std::string());
    ~ProgressTracker();
    ProgressTracker(const ProgressTracker&) = delete;
    ProgressTracker& operator=(const ProgressTracker&) = delete;

    // Declares a stage with a relative weight (>= 0; negative or non-finite weights count
    // as 0) and a step count (0: no steps). Adding a name twice replaces its weight and
    // count.
    void add(const std::string& stage, double weight, std::int64_t count = 0);
    // Completes the current stage and begins the named one. An unknown name is added first
    // with weight 1 and no steps. Starting the running stage again restarts its count.
    void start(const std::string& stage);
    // Begins the first declared stage (or simply marks the tracker running if it has none).
    void start();
    // Sets the step count of the current stage (for counts known only once it begins).
    void setCount(std::int64_t count);
    // Advances the current stage by n steps. Before any stage has started it begins the
    // first declared one; with no stage declared it does nothing.
    void increment(std::int64_t n = 1) {
        m_done += n;
        if (m_done >= m_nextCheck) slowIncrement();
    }
    // Completes every stage; the tracker stays at 100 %. Detaches it from its parent.
    void finish();

    const std::string& getName() const { return m_name; }
    const std::string& currentStage() const;
    bool isFinished() const { return m_finished; }
    // Completion of this tracker in [0, 1] (a live inner tracker counts within its stage).
    double fraction() const;
    // Completion of the outermost live tracker, or 1 when none is live.
    static double overallFraction();
    // Completion that the last outermost tracker had reached by its own stages when it
    // finished, before finishing forced it to 1 (shows whether nested work added up).
    static double lastOverallFraction() { return s_lastOverall; }

    static void setDisplay(Display mode) { s_display = mode; }
    static Display getDisplay() { return s_display; }

    // Completes the named stage at scope exit (RAII helper):
    //     { ProgressTracker::Stage s(progress, "Load Data"); ... }
    class Stage {
    public:
        Stage(ProgressTracker& tracker, const std::string& stage, std::int64_t count = -1);
        ~Stage();
        Stage(const Stage&) = delete;
        Stage& operator=(const Stage&) = delete;

    private:
        ProgressTracker& m_tracker;
        std::size_t m_index;
    };

private:
    struct StageInfo {
        std::string name;
        double weight = 0.0;
        std::int64_t count = 0;
        bool complete = false;
    };

    void slowIncrement();
    void beginStage(std::size_t index);
    void closeStage();
    void updateNextCheck();
    void refreshDisplay(bool force);
    double stageFraction() const;
    std::size_t findStage(const std::string& stage) const;

    static constexpr std::int64_t NO_CHECK = std::numeric_limits<std::int64_t>::max();
    static constexpr std::size_t NO_STAGE = std::numeric_limits<std::size_t>::max();

    std::string m_name;
    std::vector<StageInfo> m_stages;
    std::size_t m_current = NO_STAGE; // index into m_stages
    bool m_currentClosed = false;     // the current stage was completed by an inner tracker
    bool m_finished = false;
    std::int64_t m_done = 0;             // steps done in the current stage
    std::int64_t m_nextCheck = 0;        // step at which increment() takes the slow path
    ProgressTracker* m_parent = nullptr; // owned by the caller; outlives this tracker
    ProgressTracker* m_child = nullptr;  // owned by the caller; destroyed before this one

    static ProgressTracker* s_innermost; // the most recently constructed live tracker
    static Display s_display;
    static bool s_active; // the outermost live tracker draws
    static double s_lastOverall;
};

} // namespace zel
