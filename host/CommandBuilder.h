// Builds the text of one host command, `<cmd id="N"><Name val="v" /></cmd>`, in TinyXML's
// compact stream form (the form the host writes). Parameters may nest, as SetOutParam's do: an
// Element without a value is a container (`<OutUrlList>...</OutUrlList>`), and one with a value
// may hold elements too (`<Input val="100"><CropMode val="2" /></Input>`). Value objects: each
// thread uses its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TiXmlNode;

namespace qxhost {

class CommandBuilder {
  public:
    // Command numbers the host sends. StreamCourier answers a command with its number plus
    // kAnswerOffset (DestroyContext gets no answer).
    static constexpr uint32_t kCreateContext = 4100;
    static constexpr uint32_t kCreateInput = 4101;
    static constexpr uint32_t kRemoveInput = 4102;
    static constexpr uint32_t kSetOutParam = 4103;
    static constexpr uint32_t kDestroyContext = 4104;
    static constexpr uint32_t kKeepAlive = 4105;
    static constexpr uint32_t kAnswerOffset = 256;

    class Element {
      public:
        // A container.
        explicit Element(std::string name) : name_(std::move(name)) {}
        // `<name val="value" />`, to which elements may be added.
        Element(std::string name, std::string value)
            : name_(std::move(name)), value_(std::move(value)) {}
        Element(std::string name, int64_t value)
            : Element(std::move(name), std::to_string(value)) {}

        // Appends the element `<name val="value" />`.
        Element& Param(const std::string& name, const std::string& value);
        Element& Param(const std::string& name, int64_t value);
        Element& Add(Element child);

      private:
        friend class CommandBuilder;

        std::string name_;
        std::optional<std::string> value_;
        std::vector<Element> children_;
    };

    explicit CommandBuilder(uint32_t id) : id_(id) {}

    // Adds the parameter element `<name val="value" />`; values are escaped as XML needs.
    CommandBuilder& Param(const std::string& name, const std::string& value);
    CommandBuilder& Param(const std::string& name, int64_t value);
    // Adds an element with everything it holds.
    CommandBuilder& Add(Element element);
    std::string Text() const;

    // `<cmd id="4105" />`
    static std::string KeepAlive();

  private:
    // Appends `element`, with what it holds, to `parent`.
    static void AppendXml(const Element& element, TiXmlNode* parent);

    uint32_t id_;
    std::vector<Element> params_;
};

}  // namespace qxhost
