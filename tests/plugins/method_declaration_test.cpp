/*
** Plugin method declarations: the forms plugins write, the signatures
** built from them, and the fixed error texts for what does not parse.
*/
#include <gtest/gtest.h>

#include "runtime/plugins/method_declaration.h"

namespace {

using namespace quendal;

std::string KnownClasses(std::string_view name) {
  if (name == "FolderItem" || name == "ORVASQLDatabase") return "o<" + std::string(name) + ">";
  return std::string();
}

MethodDeclaration Parse(const char* text) {
  MethodDeclaration d;
  EXPECT_EQ(ParseMethodDeclaration(text, &KnownClasses, &d), "") << text;
  return d;
}

std::string Error(const char* text) {
  MethodDeclaration d;
  return ParseMethodDeclaration(text, &KnownClasses, &d);
}

TEST(MethodDeclaration, FormsAndSignatures) {
  MethodDeclaration attach = Parse("AttachDatabase(file as FolderItem, databaseName as String) as Boolean");
  EXPECT_EQ(attach.name, "AttachDatabase");
  EXPECT_EQ(MethodSignature(attach, "ORVASQLDatabase"), "AttachDatabase%b%o<ORVASQLDatabase>o<FolderItem>s");

  MethodDeclaration bare = Parse("Connect");
  EXPECT_EQ(MethodSignature(bare, "C"), "Connect%%o<C>");

  /* Modifiers, arrays of both spellings, defaults that hold "," and ")". */
  MethodDeclaration rich =
      Parse("Fill(ByRef a() As Integer, ParamArray b As String(), c As Double(,) = \"x,)\", Optional d As Int64 = -1) "
            "As String()");
  EXPECT_EQ(ParameterCodes(rich), "&a1i4a1sa2f8i8");
  EXPECT_EQ(rich.resultCode, "a1s");

  /* An Extends parameter names the receiver; Assigns makes the setter form. */
  MethodDeclaration key = Parse("EncryptionKey(Extends db As ORVASQLDatabase, Assigns key As String)");
  EXPECT_TRUE(key.parameters[0].extends);
  EXPECT_TRUE(key.parameters[1].assigns);
  EXPECT_EQ(ParameterCodes(key), "s");
  EXPECT_EQ(SetterSignature(Parse("Item(i As Integer) As String"), "L"), "=Item%%o<L>i4s");

  EXPECT_TRUE(Parse("Super.Close()").viaSuper);
  EXPECT_TRUE(SameMember(Parse("count() as integer"), Parse("Count() As Int32")));
  EXPECT_FALSE(SameMember(Parse("Count() As Integer"), Parse("Count() As Int64")));

  SignatureParts parts;
  ASSERT_TRUE(SplitSignature("=Item%%o<L>i4s", &parts));
  EXPECT_TRUE(parts.setter);
  EXPECT_EQ(parts.name, "Item");
  EXPECT_EQ(parts.parameterCodes, "i4s");
  EXPECT_FALSE(SplitSignature("NoPercent", &parts));
  EXPECT_FALSE(SplitSignature("Name%%", &parts)); /* no owner */
}

TEST(MethodDeclaration, ErrorTexts) {
  EXPECT_EQ(Error("Connect() As Widget"), "Invalid return type");
  EXPECT_EQ(Error("Open(f As Widget)"), "Unknown type \"Widget");
  EXPECT_EQ(Error("Super Close()"), "Specified a super, but the next token was not a '.'");
  for (const char* bad : {"", "(x As Integer)", "F(x Integer)", "F(x As Integer", "F(x As Integer,)",
                          "F() As", "F() As Integer extra", "F(a() As Integer, \"open)"}) {
    EXPECT_EQ(Error(bad), "Invalid plugin method format") << bad;
  }
}

} // namespace
