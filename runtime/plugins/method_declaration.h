/*
** Method declarations of plugins: the language text of a method record
** ("AttachDatabase(file as FolderItem, databaseName as String) as
** Boolean") parsed into name, parameter type codes and result type code,
** and the member signatures built from them.
**
** Grammar (words compare without regard to ASCII case):
**   declaration := [ "Super" "." ] name [ "(" [ parameter { "," parameter } ] ")" ]
**                  [ "As" type ]
**   parameter   := { "ByRef" | "ByVal" | "ParamArray" | "Assigns" | "Extends" |
**                    "Optional" } name [ "(" ")" ] "As" type [ "=" default ]
**   type        := name [ "(" { "," } ")" ]
** A default runs to the next "," or ")" outside quotes.  "()" after a
** parameter's name or type makes it a one-dimensional array, "(,)" two
** dimensions and so on.
**
** Type codes are those of class-record signatures: the primitive names
** (String s, Integer/Int32 i4, Boolean b, Double f8, Single f4, Color c,
** Int64 i8, Currency e, Variant v, Ptr p, ...), o<Class> for a class, "a"
** + dimensions + element code for an array; a by-reference parameter's
** code is preceded by "&".
**
** Errors, with their fixed texts: "Invalid plugin method format" (the
** text does not follow the grammar), "Invalid return type" (the result
** type is not known), "Specified a super, but the next token was not a
** '.'", and "Unknown type \"" + name for a parameter type that is not
** known.
*/
#ifndef QUENDAL_PLUGINS_METHOD_DECLARATION_H
#define QUENDAL_PLUGINS_METHOD_DECLARATION_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quendal {

struct DeclaredParameter {
  std::string name;
  std::string typeCode;   /* "&" first for ByRef */
  bool assigns = false;
  bool extends = false;
};

struct MethodDeclaration {
  bool viaSuper = false;
  std::string name;
  std::vector<DeclaredParameter> parameters;
  std::string resultCode; /* "" when the method returns nothing */
};

/* The code of a class name, or "" when no class of that name is known. */
using ClassCodeLookup = std::function<std::string(std::string_view className)>;

/* Parses text.  On success fills *out and returns ""; otherwise returns
** the error text and *out is unspecified. */
std::string ParseMethodDeclaration(std::string_view text, const ClassCodeLookup& classCode,
                                   MethodDeclaration* out);

/* The code of a primitive type name ("" when the name is none). */
std::string PrimitiveTypeCode(std::string_view typeName);

/* Concatenated parameter codes, the Extends parameter (if first) left out. */
std::string ParameterCodes(const MethodDeclaration& declaration);

/* Member signatures for a method of the class named owner:
**   "Name%R%o<owner>P"            the method
**   "=Name%%o<owner>PR"           its assigning form */
std::string MethodSignature(const MethodDeclaration& declaration, std::string_view owner);
std::string SetterSignature(const MethodDeclaration& declaration, std::string_view owner);

/* A member signature split into its parts; false when it is not of the
** form [=]Name%R%P.  parameterCodes is P without its first code (the
** owner's). */
struct SignatureParts {
  bool setter = false;
  std::string name;
  std::string resultCode;
  std::string parameterCodes;
};
bool SplitSignature(std::string_view signature, SignatureParts* out);

/* True when two declarations name the same member: same name (ASCII case
** ignored), same parameter codes, same result code. */
bool SameMember(const MethodDeclaration& a, const MethodDeclaration& b);

} // namespace quendal

#endif
