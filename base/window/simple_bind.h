// Bound member calls: a member function of some class, the object to call it
// on and the arguments, packed so that another thread can run the call (the
// install engine's worker hands them to the UI-thread dispatcher).
//
// A bound call does not own its object or its arguments; it usually lives on
// the caller's stack while the call is carried out synchronously.
#pragma once

class ISimpleBind {
 public:
  // Runs the member with the stored arguments.
  virtual void Invoke() = 0;

 protected:
  // Bound calls are never deleted through this interface.
  ~ISimpleBind() = default;
};

// T: the class whose member is bound; P: how the object is held (a pointer
// or anything with ->*); R: the member's return type (discarded).
template <class T, class P, class R>
class mf_bind_t : public ISimpleBind {
 public:
  using Member = R (T::*)();
  mf_bind_t(Member member, P object) : member_(member), object_(object) {}
  void Invoke() override { (object_->*member_)(); }

 private:
  Member member_;
  P object_;
};

template <class T, class P, class R, class A1>
class mf_bind_t_1 : public ISimpleBind {
 public:
  using Member = R (T::*)(A1);
  mf_bind_t_1(Member member, P object, A1 a1) : member_(member), object_(object), a1_(a1) {}
  void Invoke() override { (object_->*member_)(a1_); }

 private:
  Member member_;
  P object_;
  A1 a1_;
};

template <class T, class P, class R, class A1, class A2>
class mf_bind_t_2 : public ISimpleBind {
 public:
  using Member = R (T::*)(A1, A2);
  mf_bind_t_2(Member member, P object, A1 a1, A2 a2)
      : member_(member), object_(object), a1_(a1), a2_(a2) {}
  void Invoke() override { (object_->*member_)(a1_, a2_); }

 private:
  Member member_;
  P object_;
  A1 a1_;
  A2 a2_;
};

template <class T, class P, class R, class A1, class A2, class A3>
class mf_bind_t_3 : public ISimpleBind {
 public:
  using Member = R (T::*)(A1, A2, A3);
  mf_bind_t_3(Member member, P object, A1 a1, A2 a2, A3 a3)
      : member_(member), object_(object), a1_(a1), a2_(a2), a3_(a3) {}
  void Invoke() override { (object_->*member_)(a1_, a2_, a3_); }

 private:
  Member member_;
  P object_;
  A1 a1_;
  A2 a2_;
  A3 a3_;
};
