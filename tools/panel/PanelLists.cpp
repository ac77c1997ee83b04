#include "PanelLists.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "Dialects.h"
#include "Json.h"
#include "Makers.h"
#include "PortList.h"

namespace astrel::tool {

namespace {

std::string ModelsJson(int16_t type) {
    std::vector<std::string> models;
    for (const ModelEntry& model : KnownModels(type)) {
        models.push_back(JsonObject().Text("name", model.name).Number("axes", model.axes).Close());
    }
    return JsonArray(models);
}

std::string FirstOf(const std::vector<std::string>& names) {
    return names.empty() ? std::string{} : names.front();
}

}  // namespace

std::string CatalogueJson() {
    std::vector<std::string> makers;
    for (const MakerEntry& maker : AllMakers()) {
        makers.push_back(JsonObject()
                             .Number("type", maker.type)
                             .Text("name", MakerName(maker.type))
                             .Text("shortName", maker.shortName)
                             .Raw("models", ModelsJson(maker.type))
                             .Text("speedUnit", FirstOf(SpeedUnits(maker.type)))
                             .Text("accelUnit", FirstOf(AccelerationUnits(maker.type)))
                             .Close());
    }
    return JsonArray(makers);
}

std::string PortsJson(const std::string& simulated) {
    std::vector<std::string> ports;
    if (!simulated.empty()) {
        ports.push_back(JsonObject()
                            .Text("label", "simulated controller (" + simulated + ")")
                            .Number("port", -1)
                            .Text("device", simulated)
                            .Close());
    }
    for (const PortSetting& s : PortSettings()) {
        if (s.device == simulated) continue;
        ports.push_back(JsonObject()
                            .Text("label", "COM" + std::to_string(s.index + 1) + " (" + s.variable +
                                               "=" + s.device + ")")
                            .Number("port", s.index)
                            .Text("device", s.device)
                            .Close());
    }
    // The devices present, each by its stable name where it has one.
    for (const PortInfo& port : ListPorts("/sys", "/dev")) {
        const std::string device = port.byId.empty() ? port.device : port.byId;
        const std::string about = port.product.empty() ? "" : "  " + port.product;
        ports.push_back(JsonObject()
                            .Text("label", device + about)
                            .Number("port", -1)
                            .Text("device", device)
                            .Close());
    }
    return JsonArray(ports);
}

}  // namespace astrel::tool
