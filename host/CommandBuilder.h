// Builds the text of one host command, `<cmd id="N"><Name val="v" /></cmd>`, in TinyXML's
// compact stream form (the form the host writes). A value object: each thread uses its own.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qxhost {

class CommandBuilder {
  public:
    // Command numbers the host sends.
    static constexpr uint32_t kCreateContext = 4100;
    static constexpr uint32_t kRemoveInput = 4102;
    static constexpr uint32_t kDestroyContext = 4104;
    static constexpr uint32_t kKeepAlive = 4105;

    explicit CommandBuilder(uint32_t id) : id_(id) {}

    // Adds the parameter element `<name val="value" />`; values are escaped as XML needs.
    CommandBuilder& Param(const std::string& name, const std::string& value);
    CommandBuilder& Param(const std::string& name, int64_t value);
    std::string Text() const;

    // `<cmd id="4105" />`
    static std::string KeepAlive();

  private:
    uint32_t id_;
    std::vector<std::pair<std::string, std::string>> params_;
};

}  // namespace qxhost
