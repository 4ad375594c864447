// Cost of one answer on a parsing thread: a ProbeMatches datagram from memory through the
// client's answer path (parse, source check, record) into an observer that lists it by the
// device-list rule, as the command line does. No network.
//
//   bench_mc_answer [N]    serves N distinct answers (default 20,000) and prints the time
//
// For instruction counts, which a shared machine does not disturb, run it under callgrind
// counting only the answer path, and divide by N:
//   valgrind --tool=callgrind --toggle-collect='CAnswerPath::Serve*' bench_mc_answer 2000

#include <clocale>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_answers.h"
#include "front/front_device_list.h"
#include "mc_answer.h"
#include "mc_discovery.h"
#include "mc_request.h"

namespace {

// CPU time of this thread: a shared machine stretches the wall clock, hardly this.
double ThreadCpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

class CListingObserver : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override { m_list.Add(*pData); }
    size_t Listed() const { return m_list.Size(); }

private:
    CDeviceList m_list;
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    CDiscoveryThread client;  // never started: no thread, no socket
    CAnswerPath answerPath(MessageId(client.GetUuid()));
    CListingObserver observer;
    client.Attach(&observer);
    std::vector<std::string> answers;
    for (int i = 0; i < count; ++i) {
        answers.push_back(ProbeMatchesAnswer("urn:uuid:" + client.GetUuid(), i));
    }
    Arrival arrival;
    AnswerOutcome outcome;
    const double start = ThreadCpuMicroseconds();
    for (const std::string& answer : answers) {
        answerPath.Serve(answer.data(), answer.size(), arrival, &outcome);
        client.Deliver(outcome);
    }
    const double spent = ThreadCpuMicroseconds() - start;
    client.Detach(&observer);
    std::printf(
        "answer path: %d answers of %zu bytes, %zu listed, %.1f us of CPU each (%.0f "
        "answers/s on one core)\n",
        count, answers.empty() ? 0 : answers[0].size(), observer.Listed(), spent / count,
        count / spent * 1e6);
    return 0;
}
