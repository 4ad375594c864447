// Fuzz target of the discovery client's receive path: one datagram from memory through the
// receive queue's packed form and back (mc_pack, against the inputs before it), the client's
// answer path (CAnswerPath::Serve) and on to the client (Deliver), as each parsing thread takes
// a datagram.
// The client is constructed but never started: no thread, no socket, nothing on any network.
//
// Answers only reach the observer and the message table when their RelatesTo names the
// client's own message id, which is random per client. So every occurrence of the nil
// UUID text in the input is replaced by the client's UUID (same length) before serving; seeds
// write "urn:uuid:00000000-0000-0000-0000-000000000000" where the client's id belongs.
// A configuration request (MsgSeq 10001, DeviceId 00:11:22:33:44:55) is pending while each
// datagram is served, so matching responses complete it through the message table.

#include <atomic>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_target.h"
#include "mc_answer.h"
#include "mc_discovery.h"
#include "mc_pack.h"
#include "mc_request.h"

namespace {

const char kNilUuid[] = "00000000-0000-0000-0000-000000000000";
const int32_t kPendingSeq = 10001;
const char kPendingDevice[] = "00:11:22:33:44:55";

// Observer that does what the main window's does: copies the record and reads every field.
class CCopyingObserver : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override {
        const CDiscoveryBean* pCopy = new CDiscoveryBean(*pData);
        for (const std::string* pText : {&pCopy->m_ipAddr, &pCopy->m_hardware, &pCopy->m_serialNo,
                                         &pCopy->m_version, &pCopy->m_macAddr}) {
            for (char c : *pText) {
                m_checksum += static_cast<unsigned char>(c);
            }
        }
        m_checksum += static_cast<uint32_t>(pCopy->m_foreign);
        delete pCopy;
    }

private:
    uint32_t m_checksum = 0;
};

// The receive side of one client, set up once per process.
class CReceiver {
public:
    CReceiver() : m_answerPath(MessageId(m_client.GetUuid())) {
        // The hardware text is converted from UTF-8 to the locale's code set; the programs
        // take the environment's locale, usually a UTF-8 one.
        std::setlocale(LC_ALL, "C.UTF-8");
        m_client.Attach(&m_observer);
    }
    ~CReceiver() { m_client.Detach(&m_observer); }
    CReceiver(const CReceiver&) = delete;
    CReceiver& operator=(const CReceiver&) = delete;

    void Serve(std::string datagram) {
        const std::string& uuid = m_client.GetUuid();
        for (size_t at = datagram.find(kNilUuid); at != std::string::npos;
             at = datagram.find(kNilUuid, at + uuid.size())) {
            datagram.replace(at, sizeof(kNilUuid) - 1, uuid);
        }
        // As the receive queue keeps a datagram under a backlog: packed against an earlier one
        // (here the inputs before it), then unpacked by the parsing thread.
        PackedDatagram packed;
        m_packer.Pack(datagram, &packed);
        std::string unpacked;
        UnpackDatagram(packed, &unpacked);
        if (unpacked != datagram) {
            std::abort();
        }
        m_client.Messages().Register(kPendingSeq, kPendingDevice, 0);  // any sender
        AnswerOutcome outcome;
        m_answerPath.Serve(unpacked.data(), unpacked.size(), Arrival(), &outcome);
        m_client.Deliver(outcome);
        int result = 0;
        m_client.Messages().WaitResponse(kPendingSeq, 0, &result);  // removes the entry
    }

private:
    CDiscoveryThread m_client;
    CAnswerPath m_answerPath;
    CCopyingObserver m_observer;
    std::atomic<size_t> m_referenceBytes{0};
    CDatagramPacker m_packer{&m_referenceBytes};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CReceiver s_receiver;
    s_receiver.Serve(std::string(reinterpret_cast<const char*>(pData), nSize));
    return 0;
}
