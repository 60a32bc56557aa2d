#include "OvixHtml.h"

#include <cgicc/HTMLClasses.h>
#include <cgicc/HTTPHTMLHeader.h>
#include <cgicc/MStreamable.h>

#include <iostream>

namespace {

// HTML 4.0 Strict document type. cgicc 3.2.19's HTMLDoctype(eStrict) leaves
// out the public identifier, which sends browsers into quirks mode.
class StrictDoctype : public cgicc::MStreamable {
  public:
    void render(std::ostream& out) const override {
        out << "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
               "\"http://www.w3.org/TR/REC-html40/strict.dtd\">";
    }
};

}  // namespace

OvixHtml::OvixHtml(const std::string& pageTitle) {
    std::cout << cgicc::HTTPHTMLHeader() << std::endl;
    PrintHead(pageTitle);
    std::cout << cgicc::body() << std::endl;
    PrintBanner();
}

OvixHtml::~OvixHtml() {
    std::cout << cgicc::body() << std::endl;
    std::cout << cgicc::html() << std::endl;
}

void OvixHtml::PrintHead(const std::string& pageTitle) {
    std::cout << StrictDoctype() << std::endl;
    std::cout << cgicc::html() << std::endl;
    std::cout << cgicc::head() << std::endl;
    std::cout << cgicc::meta()
                     .set("http-equiv", "content-type")
                     .set("content", "text/html;charset=iso-8859-1")
              << std::endl;
    std::cout << cgicc::meta().set("http-equiv", "cache-control").set("content", "no-cache")
              << std::endl;
    std::cout << cgicc::title() << "OVIX Web Server";
    if (!pageTitle.empty()) std::cout << " - " << pageTitle;
    std::cout << cgicc::title() << std::endl;
    std::cout
        << cgicc::link().set("href", "/css/all.css").set("rel", "stylesheet").set("media", "screen")
        << std::endl;
    std::cout << cgicc::head() << std::endl;
}

void OvixHtml::PrintBanner() {
    std::cout
        << cgicc::p()
        << cgicc::img()
               .set("src", "/images/torvane.jpg")
               .set("alt", "TORVANE AG")
               .set("align", "left")
        << cgicc::img().set("src", "/images/vantor.gif").set("alt", "VANTOR").set("align", "right")
        << cgicc::p() << std::endl;
    std::cout << cgicc::div().set("style", "clear:both") << cgicc::div() << std::endl;
}

void OvixHtml::PrintMessageBody(const std::string& heading, const std::string& linkText,
                                const std::string& url, const std::string& message) {
    std::cout << cgicc::div().set("class", "navi")
              << cgicc::a("Home").set("class", "small").set("href", "/index.html") << " / "
              << cgicc::a(linkText).set("class", "small").set("href", url) << cgicc::div()
              << std::endl;
    std::cout << cgicc::h2(heading) << std::endl;
    std::cout << cgicc::div().set("class", "content") << std::endl;
    std::cout << cgicc::p().set("class", "warn") << message << cgicc::p();
    std::cout
        << cgicc::form().set("action", url)
        << cgicc::input().set("type", "submit").set("value", " Back ").set("class", "mybutton")
        << cgicc::form() << std::endl;
    std::cout << cgicc::div() << std::endl;
}
