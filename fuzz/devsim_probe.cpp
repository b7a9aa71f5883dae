// Arbitrary bytes as a datagram on the WS-Discovery group: a probe is read,
// matched against a camera, a printer and a one-type camera, and answered;
// the answer must read back with the probe's MessageID as its RelatesTo.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Fleet.h"
#include "SoapReader.h"
#include "WsDiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static devsim::Device camera = devsim::GenerateOnvifCamera(devsim::FleetPlan{}, 0, 0);
    devsim::wsd::Probe probe;
    if (!devsim::wsd::ParseProbe(std::string(reinterpret_cast<const char*>(data), size), &probe))
        return 0;
    devsim::Device printer = camera, oneType = camera;
    printer.onvif.role = devsim::WsdRole::Printer;
    oneType.onvif.probeTypes = devsim::ProbeTypes::Device;
    (void)devsim::wsd::Answers(printer, probe);
    (void)devsim::wsd::Answers(oneType, probe);
    if (!devsim::wsd::Answers(camera, probe))
        return 0;
    devsim::soap::Document doc;
    const std::string answer = devsim::wsd::ProbeMatches(camera, probe.messageId);
    if (!devsim::soap::Read(answer, &doc))
        std::abort(); // our own answer must be well formed whatever the probe said
    const int env = doc.Child(-1, devsim::soap::kEnvelopeNs, "Envelope");
    const int header = doc.Child(env, devsim::soap::kEnvelopeNs, "Header");
    const int relates = doc.Child(header, devsim::soap::kAddressingNs, "RelatesTo");
    if (relates < 0 || doc.elements[static_cast<std::size_t>(relates)].text != probe.messageId)
        std::abort();
    return 0;
}
