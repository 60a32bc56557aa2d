#ifndef OVIX_OVIXHTML_H
#define OVIX_OVIXHTML_H

#include <string>

// Frame of the web server's CGI pages. Constructing it writes the CGI header,
// the document type, the head and the logo banner, and leaves body open;
// destroying it writes the closing tags. One frame per process: it is the
// only writer of the html and body elements.
class OvixHtml {
  public:
    explicit OvixHtml(const std::string& pageTitle);
    virtual ~OvixHtml();
    OvixHtml(const OvixHtml&) = delete;
    OvixHtml& operator=(const OvixHtml&) = delete;

    // A complete message page body: navigation bar, heading, a warning
    // paragraph and a " Back " button that leads to url.
    void PrintMessageBody(const std::string& heading, const std::string& linkText,
                          const std::string& url, const std::string& message);

  private:
    static void PrintHead(const std::string& pageTitle);
    static void PrintBanner();
};

#endif
