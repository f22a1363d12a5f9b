#pragma once
// An object of the object database: a type ("PLANE"), a name ("Slice 1"), an ordered list
// of text parameters, a parent and ordered children (which it owns).
//
// Parameters: a parameter that was never set reads as the default of its type (see
// ObjectTypes.h); hasParam is true for set parameters and for parameters that the type
// defines. Reading a parameter that is neither raises data::notFound naming the object and
// the parameter; a typed getter given text that is not of its type raises data::invalid.
//
// Numbers may carry a unit in square brackets after the last value: "0.5 [m]",
// "0, 0, 0.5 [m]" (the unit applies to every value of a list). The getters that take a
// unit convert to it; a value without a unit is taken to be in the requested unit already.
//
// Subclasses (geometric objects) may own more state: they override setParameter to react
// to single settings and finishParameters to act once after a series of settings.
#include "framework/units/Quantity.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel {

struct ObjectTypeInfo;

class OKLObject {
public:
    // Filter bits of getState and getParameters.
    enum StateFilter : int {
        StateSetParams = 1,     // parameters that were set
        StateDefaultParams = 2, // parameters of the type that were not set (at their defaults)
        StateChildren = 4,      // getState: child blocks too, recursively
        StateNoHeader = 8       // getState: the parameter lines alone, no block lines
    };

    // An empty name names the object after its type (a singleton such as "CALCULATOR").
    // internal::badParam for a type or name that cannot appear in a path or in command
    // text (empty type; '/', '=', '#', '\\' at the end, line breaks; ':' in the type).
    OKLObject(const std::string& type, const std::string& name);
    virtual ~OKLObject();
    OKLObject(const OKLObject&) = delete;
    OKLObject& operator=(const OKLObject&) = delete;

    const std::string& getName() const { return m_name; }
    const std::string& getType() const { return m_type; }
    const std::string& getObjectType() const { return m_type; }
    // A singleton is named after its type; its path component is the name alone.
    bool isSingleton() const { return m_name == m_type; }
    // "TYPE:Name", or "Name" for a singleton.
    std::string getPathComponent() const;
    // "/PLANE:Slice 1", "/LIBRARY/ROX/EXPRESSIONS".
    std::string getPath() const;

    // Category and kinds come from the type registry.
    const std::string& getCategory() const;
    const ObjectTypeInfo& getTypeInfo() const;
    // True when the type lists the kind, or when kind is the object type itself.
    bool isA(const std::string& kind) const;

    // --- tree -----------------------------------------------------------------------
    // The parent owns this object; null for a top-level object (owned by the database)
    // or a free object.
    OKLObject* getParent() const { return m_parent; }
    // Children in the order they were added; owned by this object.
    std::vector<OKLObject*> getChildren() const;
    std::size_t getNumChildren() const { return m_children.size(); }
    // The child of that name (names are unique among siblings), or null.
    OKLObject* findChild(const std::string& name) const;
    // Takes ownership; data::duplicate when a child of that name exists (the child is then
    // destroyed with the unique_ptr). Returns the child.
    OKLObject* addChild(std::unique_ptr<OKLObject> child);
    // Gives up ownership of a child (null when it is not a child of this object).
    std::unique_ptr<OKLObject> releaseChild(const OKLObject* child);

    // --- parameters -----------------------------------------------------------------
    bool hasParam(const std::string& name) const;
    // True only for parameters that were set (not for defaults).
    bool isParamSet(const std::string& name) const;
    // The text of a parameter (its default when not set). data::notFound when the object
    // has no such parameter.
    std::string getValue(const std::string& name) const;
    // "True", "Yes", "On", "1", "t", "y" (any case) are true; "False", "No", "Off", "0",
    // "f", "n" false; anything else raises data::invalid.
    bool getBoolValue(const std::string& name) const;
    // A whole decimal number; data::invalid otherwise (also when out of range).
    int getIntValue(const std::string& name) const;
    // One number with an optional unit, converted to units when units is not empty.
    float getFloatValue(const std::string& name, const std::string& units = std::string()) const;
    // A comma- (or blank-) separated list of numbers with an optional unit after the last,
    // converted to units when units is not empty. An empty value gives an empty list.
    std::vector<float> getFloatArray(const std::string& name, const std::string& units = std::string()) const;
    // One number with its unit text ("30 [degree]" -> 30, "degree"; "2" -> 2, "").
    Quantity getQuantityValue(const std::string& name) const;

    // Sets a parameter (appended to the order when new). Subclasses override to react to
    // a setting; they call this base operation to store the text.
    virtual void setParameter(const std::string& name, const std::string& value);
    // Removes a set parameter, so that it reads as its default again. False when not set.
    bool unsetParameter(const std::string& name);
    // Removes every set parameter.
    void clearParameters();
    // Called once after a series of settings (the end of a command block, or by code that
    // set parameters directly). The base operation tells the database that the object
    // changed (ObjectDB::objectChanged: the calc function of its type runs "top", then the
    // observers are told) when the object is in the database. Overrides do their own work
    // and then call the base operation.
    virtual void finishParameters();

    // (name, value) pairs: the set parameters in the order they were first set
    // (StateSetParams), then the type's parameters that were not set, in the type's order
    // (StateDefaultParams).
    std::vector<std::pair<std::string, std::string>> getParameters(int filter = StateSetParams |
                                                                                StateDefaultParams) const;
    // The object as command text that processOKL reads back: with filter 3, the block of
    // the object wrapped in the blocks of its ancestors, one "Name = value" line per
    // parameter:
    //     PLANE: Slice 1
    //       Plane Type = Slice
    //     END
    // StateChildren adds the child blocks; StateNoHeader gives the "Name = value" lines alone.
    // Lines end with "\n".
    std::string getState(int filter = StateSetParams | StateDefaultParams) const;

    // The domains of the object: the value of "Domain List" split into names; "All Domains"
    // (any case) stands for every object of type "DOMAIN" in the database, in database
    // order. An object without a "Domain List" gives an empty list.
    std::vector<std::string> getDomainNameList() const;

private:
    friend class ObjectDB;
    friend class OKLProcessor; // restores the set parameters when a block fails

    const std::string* findSetValue(const std::string& name) const;

    std::string m_type;
    std::string m_name;
    OKLObject* m_parent = nullptr; // owner, or null (see getParent)
    std::vector<std::unique_ptr<OKLObject>> m_children;
    std::vector<std::pair<std::string, std::string>> m_params; // set parameters, in setting order
    bool m_inDatabase = false;                                 // a top-level object of ObjectDB (set by ObjectDB)

    // Kept by ObjectDB's name index (see ObjectDB.h): the place of this object in the list
    // of objects of its name while it is anywhere in the database tree, kNotIndexed otherwise.
    static constexpr std::size_t kNotIndexed = static_cast<std::size_t>(-1);
    std::size_t m_nameSlot = kNotIndexed;
    // When the object was last given an owner (a parent, or the top level): owners append,
    // so siblings are held in the order of their stamps, which tells the walk order of two
    // objects without searching their owners' lists.
    static std::uint64_t nextAttachStamp();
    std::uint64_t m_attachStamp = 0;
};

} // namespace zel
