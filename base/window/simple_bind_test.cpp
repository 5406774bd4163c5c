#include "base/window/simple_bind.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum class Answer { kNone, kRetry, kContinue };

// Stands in for the engine's installer: members of each bound shape.
class CRecorder {
 public:
  void Start() { ++starts; }
  void Progress(int percent) { last_percent = percent; }
  void Named(int count, const wchar_t* name) {
    last_count = count;
    last_name = name;
  }
  void Ask(int code, const wchar_t* text, Answer* answer) {
    last_code = code;
    last_name = text;
    *answer = code == 3 ? Answer::kRetry : Answer::kContinue;
  }
  int Ignored() { return 99; }

  int starts = 0, last_percent = -1, last_count = -1, last_code = -1;
  std::wstring last_name;
};

TEST(SimpleBind, EachShapeCallsItsMemberWithTheStoredArguments) {
  CRecorder recorder;
  mf_bind_t<CRecorder, CRecorder*, void> start(&CRecorder::Start, &recorder);
  mf_bind_t_1<CRecorder, CRecorder*, void, int> progress(&CRecorder::Progress, &recorder, 42);
  mf_bind_t_2<CRecorder, CRecorder*, void, int, const wchar_t*> named(&CRecorder::Named,
                                                                      &recorder, 7, L"a.dll");
  ISimpleBind* calls[] = {&start, &progress, &named};
  for (ISimpleBind* call : calls) call->Invoke();

  EXPECT_EQ(recorder.starts, 1);
  EXPECT_EQ(recorder.last_percent, 42);
  EXPECT_EQ(recorder.last_count, 7);
  EXPECT_EQ(recorder.last_name, L"a.dll");

  // Invoking again repeats the same call: nothing is consumed.
  progress.Invoke();
  start.Invoke();
  EXPECT_EQ(recorder.starts, 2);
  EXPECT_EQ(recorder.last_percent, 42);
}

TEST(SimpleBind, AnswerWrittenThroughTheStoredPointerReachesTheCaller) {
  CRecorder recorder;
  Answer answer = Answer::kNone;
  mf_bind_t_3<CRecorder, CRecorder*, void, int, const wchar_t*, Answer*> ask(
      &CRecorder::Ask, &recorder, 3, L"copy failed", &answer);
  static_cast<ISimpleBind&>(ask).Invoke();
  EXPECT_EQ(answer, Answer::kRetry);
  EXPECT_EQ(recorder.last_code, 3);
  EXPECT_EQ(recorder.last_name, L"copy failed");
}

TEST(SimpleBind, ReturnValueOfTheMemberIsDiscarded) {
  CRecorder recorder;
  mf_bind_t<CRecorder, CRecorder*, int> call(&CRecorder::Ignored, &recorder);
  call.Invoke();
  SUCCEED();
}

}  // namespace
