// Component translation: a window and everything reachable from it through
// owned children, object properties, collections and lists of lines is
// translated in one text domain, property by property.
//
// On Qt a component's published properties are its Q_PROPERTYs; a text
// property is a QString property, an object property a QObject* property;
// owned components are children() in order and a component's name is its
// objectName. Lists of lines and collections are TStrings and TCollection
// (framework/).
//
// Errors are raised as Exception (framework/Exception.h):
//   "Property cannot be translated.\r\nUse TP_GlobalIgnoreClassProperty(<class>,<property>) or\r\n
//    TP_Ignore (self,'.<property>') to prevent this message.\r\nReason: <message>"
// with "Property disappeared..." as the reason when a text property cannot
// be found again before it is written.
//
// Everything here runs on the main thread; the skip lists have no lock.
#pragma once

#include <set>
#include <string>
#include <vector>

class QObject;
struct QMetaObject;
class TStrings;

// Skips something in the next walk (the root is not used):
//   "Name"       the owned component of that name, with all it owns;
//   "Name.Prop"  property Prop of the component of that name;
//   ".Prop"      property Prop of the root and of every object reached
//                through an object property or a collection.
// Names are compared after ASCII upper-casing. The list is emptied when a
// walk completes and kept when a walk stops on an error.
void TP_Ignore(QObject* root, const std::string& name);

// Translates every non-empty, writable text property reachable from `root`
// (breadth-first, each object once) with LookupTextInDomain in `domainName`
// (empty: the active domain).
void TranslateObjectTree(QObject* root, const std::string& domainName = {});

// Looks up each non-empty line in `domainName` and replaces the whole text;
// a translation with a line break becomes several lines.
void TranslateLines(TStrings& lines, const std::string& domainName);

// Skips property `propertyName` on objects of `ruleClass` and of every class
// derived from it, in every walk from now on.
void TP_GlobalIgnoreClassProperty(const QMetaObject& ruleClass, const std::string& propertyName);

// One class rule: the properties skipped on objects of RuleClass and of
// every class derived from it (upper-cased names).
struct TClassMode {
    const QMetaObject* RuleClass = nullptr;
    std::set<std::string> SkippedProperties;
};

// The walk's state, for inspection: the names given to TP_Ignore for the
// next walk, and the class rules in the order they are tried.
std::set<std::string> SkipNames();
std::vector<TClassMode> ClassRules();

// Drops every skip name and class rule given so far and sets up the built-in
// class rules again (done by the start-up step; the rules otherwise live as
// long as the translator).
void ResetComponentTranslation();
// Releases them (the shutdown step).
void DropComponentTranslation() noexcept;
