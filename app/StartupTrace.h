// Start-up trace: when the environment variable ORDAVIA_STARTUP_TRACE names a file, every
// start-up step appends one line to it as the step ends:
//
//     <step name> TAB <milliseconds from process creation to the step's start> TAB <milliseconds in the step>
//
// Times have one decimal. Marks (a moment rather than a step) take 0 milliseconds. Without the
// variable nothing is measured and nothing is written: the one cost is the first lookup.
#pragma once

namespace startup_trace {

// True when the variable names a file; looked up once per process.
bool IsOn();

// Milliseconds from the creation of this process to now, by the system clock.
double SinceCreation();

// Appends one line; does nothing when the trace is off.
void Write(const char* step, double atMs, double tookMs);

// A moment, such as a window reaching the screen.
void Mark(const char* name);

// Times one step from construction to End or destruction.
class CStep {
public:
    explicit CStep(const char* name);
    ~CStep() { End(); }
    CStep(const CStep&) = delete;
    CStep& operator=(const CStep&) = delete;

    void End();

private:
    const char* m_name;  // none once written, or when the trace is off
    double m_at = 0;
};

}  // namespace startup_trace
