#pragma once

// Result codes of the XML document object. They travel up through the file,
// component and walk to the action's result, so their values never change.
namespace XmlResult {
constexpr int kSuccess = 0;
// No DOM document object could be created: there is no usable XML parser.
constexpr int kNoParser = 27521;
// A load or save failed and the user answered Abort (or nobody answered).
constexpr int kUserAbort = -2004;
// A load or save failed and the user answered Ignore: the file is skipped.
constexpr int kUserIgnore = -2005;
// The document element could not be read after loading.
constexpr int kDocumentElementUnreadable = -2105;
// The loaded document has no root element.
constexpr int kNoRootElement = -2106;
// An operation needs a current node and the last selection found none.
constexpr int kNoCurrentNode = -2111;
constexpr int kRemoveElementFailed = -2201;
constexpr int kParentUnavailable = -2202;
// Non-empty content was to be set but no text node could be found or made.
constexpr int kNoTextNode = -2204;
constexpr int kRemoveAttributeFailed = -2301;
constexpr int kSetAttributeFailed = -2302;
constexpr int kAttributeMissing = -2303;
}  // namespace XmlResult

// The installer error numbers handed to the user prompt.
namespace XmlPromptError {
constexpr int kSaveFailed = 27519;
constexpr int kLoadFailed = 27520;
}  // namespace XmlPromptError

// The user's answers to a prompt; 0 means nobody answered.
namespace PromptAnswer {
constexpr int kNone = 0;
constexpr int kAbort = 3;
constexpr int kRetry = 4;
constexpr int kIgnore = 5;
}  // namespace PromptAnswer

// How SetElementContent combines the given text with the current one.
namespace ContentMode {
constexpr int kReplace = 1;
constexpr int kPrepend = 2;
constexpr int kAppend = 3;
}  // namespace ContentMode

// What UpdateAttribute does. Note that 2 appends here while content mode 2
// prepends: the stored tables number them that way.
namespace AttributeOperation {
constexpr int kSet = 1;
constexpr int kAppend = 2;
constexpr int kPrepend = 3;
constexpr int kRemove = 4;
}  // namespace AttributeOperation
