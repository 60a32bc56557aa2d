// Stand-in of the device's in-house property library.
//
// A property manager reads Java properties style files: one KEY=VALUE a line,
// blanks around '=' ignored (':' also separates), lines starting with '#' or
// '!' are comments, a later line for the same key wins. A file that is missing
// or unreadable gives no values.
#ifndef OVIX_PLATFORM_PROPERTY_H
#define OVIX_PLATFORM_PROPERTY_H

#include <map>
#include <memory>
#include <string>

class PropertyManager {
  public:
    virtual ~PropertyManager() {}

    // Takes in the properties that the file sets; false when it cannot be read.
    virtual bool LoadFile(const std::string& path);
    // Declares a key of a type ("PROPERTY_TYPE_STRING", ...) with a default
    // value; a value already loaded stays in force. False for a blank key.
    virtual bool AddProperty(const std::string& type, const std::string& key,
                             const std::string& defaultValue);
    // The value of the key, or the empty text when nothing sets it.
    virtual std::string GetValue(const std::string& key);

    // Reads properties text; exposed for tests of the file format.
    void LoadText(const std::string& text);

  private:
    std::map<std::string, std::string> values_;
    std::map<std::string, std::string> types_;
};

class Property {
  public:
    static Property* GetInstance();
    // The manager of that name, made on first use; the same on every call.
    PropertyManager* GetPropertyManager(std::string name);

  private:
    std::map<std::string, std::unique_ptr<PropertyManager>> managers_;
};

#endif
