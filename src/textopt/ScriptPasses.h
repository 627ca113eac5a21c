// The inline JavaScript optimizer: comments and the blanks around operators go from the body of
// every SCRIPT element that holds JavaScript, and the ignored body of one that names a SRC.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "textopt/PageOptions.h"
#include "textopt/TextBuffer.h"

namespace quillon {

class ScriptBodiesAhead;

// The chain's pass: finds every SCRIPT element and optimizes its body as above. A script whose
// TYPE or LANGUAGE names another language (VBScript, a template, JSON data) is left alone.
TextLength OptimizeInlineScripts(std::uint8_t* text, TextLength length, const PageOptions& options);
// The same, taking the result of each body that `ahead` worked out from the bytes it holds now.
TextLength OptimizeInlineScripts(std::uint8_t* text, TextLength length, const PageOptions& options,
                                 ScriptBodiesAhead* ahead);

// What the pass does to the body text[begin, end) of a JavaScript element: comments go as the
// options say, and the blanks around operators. Deletes by writing 0; does not compact.
void OptimizeScriptBody(std::uint8_t* text, TextLength begin, TextLength end,
                        const PageOptions& options);

// The script pass's work on the JavaScript bodies of a large page, done on a thread of its own
// while the chain runs the steps before that pass, none of which changes a script body. The pass
// takes a result only for a body that still holds the very bytes the thread started from, and
// works out any other itself: the page comes out the same either way.
class ScriptBodiesAhead {
  public:
    // Copies the JavaScript bodies of text[0, length), those the pass would find now and any
    // inside raw-text regions, and starts working them out. Without memory or a thread for it,
    // no result is ever taken.
    ScriptBodiesAhead(const std::uint8_t* text, TextLength length, const PageOptions& options);
    // Stops the thread after the body it is working on.
    ~ScriptBodiesAhead();
    ScriptBodiesAhead(const ScriptBodiesAhead&) = delete;
    ScriptBodiesAhead& operator=(const ScriptBodiesAhead&) = delete;

    // Where text[begin, end) holds the bytes of the next body worked out, or of one of the few
    // after it (a body the steps in between removed is passed over), writes that body's result
    // over it, deleted bytes as 0, and returns true. Waits for the thread the first time.
    bool TakeResult(std::uint8_t* text, TextLength begin, TextLength end);

  private:
    struct Body {
        std::size_t from;  // where its bytes stand in originals_ and its result in results_
        std::size_t size;
        std::size_t resultSize = 0;
    };
    static constexpr std::size_t kLookAhead = 4;

    void WorkOut();
    void Finish();

    PageOptions options_;
    std::vector<Body> bodies_;
    std::vector<std::uint8_t> originals_;
    std::vector<std::uint8_t> results_;
    std::size_t next_ = 0;
    std::size_t workedOut_ = 0;  // written by the thread, read after it has ended
    std::atomic<bool> stop_ = false;
    std::thread worker_;
};

// On the script body text[begin, end): deletes comments, the blanks at either end, and the
// rest of an opening `<!--` line and of a closing `// -->` line. Comments holding a
// server-side include directive stay. Deletes by writing 0; does not compact.
void RemoveScriptComments(std::uint8_t* text, TextLength begin, TextLength end);

// On the script body text[begin, end): deletes the blanks around operators where the script
// means the same without them. Deletes by writing 0; does not compact.
void TightenScriptOperators(std::uint8_t* text, TextLength begin, TextLength end);

}  // namespace quillon
