// Packed storage of waiting datagrams: every datagram comes back byte for byte, answers that
// are nearly alike take a fraction of their size, and references are counted while held.

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "mc_pack.h"

namespace {

// An answer as devices of one model write them: the same envelope, other ids and scopes.
std::string Answer(int device) {
    const std::string n = std::to_string(device);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header>"
           "<wsa:MessageID>urn:uuid:5f0c2a9e-0000-4000-8000-" +
           std::string(12 - n.size(), '0') + n +
           "</wsa:MessageID><wsa:RelatesTo>urn:uuid:6b1c7e52-3f0a-4d2b-9a61-0c5e8d2f4a17"
           "</wsa:RelatesTo><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/"
           "anonymous</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/"
           "ProbeMatches</wsa:Action></SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches>"
           "<d:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:device-" +
           n +
           "</wsa:Address></wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
           "<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/hardware/"
           "IPC-2M onvif://www.onvif.org/name/Korvane onvif://www.onvif.org/macaddr/0012ab" +
           n + " onvif://www.onvif.org/serial/SN" + n +
           " onvif://www.onvif.org/version/V5.1</d:Scopes><d:XAddrs>http://198.18." +
           std::to_string(device / 250) + "." + std::to_string(device % 250) +
           "/onvif/device_service</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion>"
           "</d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string Unpacked(const PackedDatagram& packed) {
    std::string bytes;
    UnpackDatagram(packed, &bytes);
    return bytes;
}

// Each case packs the first datagram, then the second; both come back as they were.
TEST(DatagramPacker, GivesBackEveryDatagramAsItWas) {
    std::mt19937 random(7);
    std::string noise(1400, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    std::string binary = Answer(1);
    binary[300] = '\0';
    binary[301] = '\x80';
    const struct {
        const char* name;
        std::string first;
        std::string second;
    } cases[] = {
        {"alike", Answer(1), Answer(2)},
        {"the same", Answer(1), Answer(1)},
        {"nothing in common", Answer(1), noise},
        {"short", Answer(1), "urn:uuid:x"},
        {"with zero and high bytes", Answer(1), binary},
        {"longer than the reference", Answer(1), Answer(2) + Answer(3) + Answer(4)},
        {"a run at the very end", Answer(1), Answer(2) + "</SOAP-ENV:Envelope>"},
        {"large", std::string(14000, 'a') + Answer(1), std::string(14000, 'a') + Answer(2)},
        {"too large to pack", Answer(1), std::string(60000, 'a') + Answer(2)},
    };
    for (const auto& c : cases) {
        std::atomic<size_t> referenceBytes{0};
        CDatagramPacker packer(&referenceBytes);
        PackedDatagram first;
        PackedDatagram second;
        packer.Pack(c.first, &first);
        packer.Pack(c.second, &second);
        EXPECT_EQ(Unpacked(first), c.first) << c.name;
        EXPECT_EQ(Unpacked(second), c.second) << c.name;
    }
}

// Random edits of an answer (bytes replaced, inserted, removed) against the answer itself.
TEST(DatagramPacker, GivesBackEditedDatagramsAsTheyWere) {
    std::mt19937 random(12345);
    std::atomic<size_t> referenceBytes{0};
    CDatagramPacker packer(&referenceBytes);
    const std::string base = Answer(7);
    for (int round = 0; round < 500; ++round) {
        std::string edited = base;
        for (int edit = random() % 40; edit > 0; --edit) {
            const size_t at = random() % edited.size();
            switch (random() % 3) {
            case 0:
                edited[at] = static_cast<char>(random());
                break;
            case 1:
                edited.insert(at, random() % 20 + 1, static_cast<char>(random()));
                break;
            default:
                edited.erase(at, random() % 20 + 1);
            }
        }
        PackedDatagram packed;
        packer.Pack(random() % 4 == 0 ? base : edited, &packed);
        PackedDatagram again;
        packer.Pack(edited, &again);
        ASSERT_EQ(Unpacked(again), edited) << round;
    }
}

TEST(DatagramPacker, AnswersOfOneModelTakeAFractionOfTheirSize) {
    std::atomic<size_t> referenceBytes{0};
    CDatagramPacker packer(&referenceBytes);
    std::vector<PackedDatagram> queue(1000);
    size_t raw = 0;
    size_t held = 0;
    for (size_t i = 0; i < queue.size(); ++i) {
        const std::string answer = Answer(static_cast<int>(i));
        packer.Pack(answer, &queue[i]);
        raw += answer.size();
        held += PackedSize(queue[i]);
    }
    EXPECT_EQ(referenceBytes.load(), Answer(0).size());  // the first is the one reference
    EXPECT_LT(held + referenceBytes.load(), raw / 8) << held << " of " << raw;
    for (size_t i = 0; i < queue.size(); ++i) {
        ASSERT_EQ(Unpacked(queue[i]), Answer(static_cast<int>(i))) << i;
    }
}

// A datagram unlike the reference becomes the next one; each counts until its last holder lets
// it go, the packer included.
TEST(DatagramPacker, CountsReferencesWhileTheyAreHeld) {
    std::atomic<size_t> referenceBytes{0};
    {
        CDatagramPacker packer(&referenceBytes);
        PackedDatagram a;
        PackedDatagram b;
        PackedDatagram c;
        packer.Pack(Answer(1), &a);
        packer.Pack(Answer(2), &b);
        EXPECT_EQ(referenceBytes.load(), Answer(1).size());
        packer.Pack(std::string(2000, 'z'), &c);  // nothing in common: the new reference
        EXPECT_EQ(referenceBytes.load(), Answer(1).size() + 2000);
        a = PackedDatagram();
        b = PackedDatagram();  // the first reference's last holder
        EXPECT_EQ(referenceBytes.load(), 2000u);
        KeepWhole(Answer(3), &a);  // whole: no reference at all
        EXPECT_EQ(referenceBytes.load(), 2000u);
        EXPECT_EQ(PackedSize(a), Answer(3).size());
    }
    EXPECT_EQ(referenceBytes.load(), 0u);
}

}  // namespace
