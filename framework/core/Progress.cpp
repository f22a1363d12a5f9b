#include "framework/core/Progress.h"

#include "framework/core/Terminal.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace zel {

ProgressTracker* ProgressTracker::s_innermost = nullptr;
ProgressTracker::Display ProgressTracker::s_display = ProgressTracker::Display::Auto;
bool ProgressTracker::s_active = false;
double ProgressTracker::s_lastOverall = 0.0;

namespace {

using Clock = std::chrono::steady_clock;

// Drawing state of the bar of the outermost tracker.
struct BarState {
    bool drawn = false;
    int percent = -1;
    Clock::time_point lastDraw{};
};
BarState g_bar;

constexpr int BAR_WIDTH = 30;

} // namespace

ProgressTracker::ProgressTracker(std::string name) : m_name(std::move(name)), m_parent(s_innermost) {
    if (m_parent) {
        m_parent->m_child = this;
    } else {
        s_active = s_display == Display::Always || (s_display == Display::Auto && stderrIsTerminal());
        g_bar = BarState();
    }
    s_innermost = this;
}

ProgressTracker::~ProgressTracker() { finish(); }

std::size_t ProgressTracker::findStage(const std::string& stage) const {
    for (std::size_t i = 0; i < m_stages.size(); ++i)
        if (m_stages[i].name == stage) return i;
    return NO_STAGE;
}

void ProgressTracker::add(const std::string& stage, double weight, std::int64_t count) {
    if (!(weight >= 0.0) || !std::isfinite(weight)) weight = 0.0;
    count = std::max<std::int64_t>(count, 0);
    const std::size_t i = findStage(stage);
    if (i == NO_STAGE) {
        m_stages.push_back(StageInfo{stage, weight, count, false});
        if (m_current == NO_STAGE && !m_finished) m_nextCheck = 0; // the first increment starts it
    } else {
        m_stages[i].weight = weight;
        m_stages[i].count = count;
        if (i == m_current) updateNextCheck();
    }
}

void ProgressTracker::start(const std::string& stage) {
    std::size_t i = findStage(stage);
    if (i == NO_STAGE) {
        add(stage, 1.0, 0);
        i = m_stages.size() - 1;
    }
    beginStage(i);
}

void ProgressTracker::start() {
    if (!m_stages.empty()) beginStage(0);
}

void ProgressTracker::setCount(std::int64_t count) {
    if (m_current == NO_STAGE) return;
    m_stages[m_current].count = std::max<std::int64_t>(count, 0);
    updateNextCheck();
}

const std::string& ProgressTracker::currentStage() const {
    static const std::string none;
    return m_current == NO_STAGE ? none : m_stages[m_current].name;
}

void ProgressTracker::beginStage(std::size_t index) {
    if (m_finished) return;
    closeStage();
    m_current = index;
    m_stages[index].complete = false;
    m_done = 0;
    m_currentClosed = false;
    updateNextCheck();
    refreshDisplay(false);
}

void ProgressTracker::closeStage() {
    if (m_current == NO_STAGE) return;
    m_stages[m_current].complete = true;
    m_current = NO_STAGE;
    m_currentClosed = false;
    m_done = 0;
    m_nextCheck = NO_CHECK;
}

void ProgressTracker::updateNextCheck() {
    if (m_current == NO_STAGE) {
        m_nextCheck = m_stages.empty() || m_finished ? NO_CHECK : 0;
        return;
    }
    const std::int64_t count = m_stages[m_current].count;
    if (!s_active || count <= 0) {
        m_nextCheck = NO_CHECK;
        return;
    }
    // Look at the display once per hundredth of the stage.
    m_nextCheck = m_done + std::max<std::int64_t>(1, count / 100);
}

void ProgressTracker::slowIncrement() {
    if (m_current == NO_STAGE) {
        const bool begun =
            std::any_of(m_stages.begin(), m_stages.end(), [](const StageInfo& st) { return st.complete; });
        if (m_stages.empty() || m_finished || begun) {
            m_nextCheck = NO_CHECK;
            return;
        }
        const std::int64_t done = m_done;
        beginStage(0);
        m_done = done;
    }
    updateNextCheck();
    refreshDisplay(false);
}

double ProgressTracker::stageFraction() const {
    if (m_current == NO_STAGE) return 0.0;
    if (m_currentClosed) return 1.0;
    if (m_child) return m_child->fraction();
    const std::int64_t count = m_stages[m_current].count;
    if (count <= 0) return 0.0;
    return std::clamp(static_cast<double>(m_done) / static_cast<double>(count), 0.0, 1.0);
}

double ProgressTracker::fraction() const {
    if (m_finished) return 1.0;
    double total = 0.0, done = 0.0;
    for (std::size_t i = 0; i < m_stages.size(); ++i) {
        total += m_stages[i].weight;
        if (i == m_current)
            done += m_stages[i].weight * stageFraction();
        else if (m_stages[i].complete)
            done += m_stages[i].weight;
    }
    if (total <= 0.0) return 0.0;
    return std::clamp(done / total, 0.0, 1.0);
}

double ProgressTracker::overallFraction() {
    const ProgressTracker* t = s_innermost;
    if (!t) return 1.0;
    while (t->m_parent) t = t->m_parent;
    return t->fraction();
}

void ProgressTracker::finish() {
    if (m_finished) return;
    const bool outermost = m_parent == nullptr;
    if (outermost) s_lastOverall = fraction();
    closeStage();
    m_finished = true;
    m_nextCheck = NO_CHECK;
    if (m_child) {
        // An inner tracker outlived this one: it carries on as a tracker of its own.
        m_child->m_parent = nullptr;
        m_child = nullptr;
    }
    if (m_parent) {
        // Completing a sub-task completes the outer stage it was running in.
        if (m_parent->m_child == this) {
            m_parent->m_child = nullptr;
            if (m_parent->m_current != NO_STAGE) m_parent->m_currentClosed = true;
        }
        m_parent->refreshDisplay(false);
    } else {
        refreshDisplay(true);
        if (s_active && g_bar.drawn) {
            std::fputc('\n', stderr);
            std::fflush(stderr);
        }
        g_bar = BarState();
    }
    if (s_innermost == this) s_innermost = m_parent;
    m_parent = nullptr;
}

void ProgressTracker::refreshDisplay(bool force) {
    if (!s_active) return;
    const double overall = overallFraction();
    const int percent = static_cast<int>(overall * 100.0);
    const Clock::time_point now = Clock::now();
    if (!force) {
        if (percent == g_bar.percent) return;
        if (g_bar.drawn && now - g_bar.lastDraw < std::chrono::milliseconds(100)) return;
    }
    g_bar.percent = percent;
    g_bar.lastDraw = now;
    g_bar.drawn = true;

    const ProgressTracker* root = s_innermost ? s_innermost : this;
    while (root->m_parent) root = root->m_parent;
    const ProgressTracker* inner = s_innermost ? s_innermost : this;
    std::string line = "\r" + root->m_name;
    if (!inner->currentStage().empty()) line += (line.size() > 1 ? ": " : "") + inner->currentStage();
    const int filled = std::clamp(percent * BAR_WIDTH / 100, 0, BAR_WIDTH);
    line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(BAR_WIDTH - filled), ' ') + "] ";
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", std::clamp(percent, 0, 100));
    line += pct;
    line += "\x1b[K"; // clear what a longer earlier line left behind
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

ProgressTracker::Stage::Stage(ProgressTracker& tracker, const std::string& stage, std::int64_t count)
    : m_tracker(tracker) {
    m_tracker.start(stage);
    if (count >= 0) m_tracker.setCount(count);
    m_index = m_tracker.m_current;
}

ProgressTracker::Stage::~Stage() {
    if (m_tracker.m_current == m_index && m_index != NO_STAGE) m_tracker.closeStage();
}

} // namespace zel
