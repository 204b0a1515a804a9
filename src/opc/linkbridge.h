// TOpcLinkBridge: the OPC side of the Corvid link. It receives what the link reports (type-1
// configuration records and states, the end of a session) and hands it to the OPC items: the
// type-1 tag table and, with protocol 2, the type-2 items.
#pragma once

#include "link/linksink.h"
#include "opc/opcservice.h"
#include "opc/type1tags.h"
#include "opc/type2tags.h"

namespace corvid {

class TOpcLinkBridge final : public TLinkSink {
 public:
  // `type2`: the type-2 items; null while protocol 2 is not served.
  TOpcLinkBridge(OpcService& opc, TCorvidDataList& type1, TType2Tags* type2 = nullptr)
      : opc_(opc), type1_(type1), type2_(type2) {}

  std::int32_t Type1Count() override { return type1_.Count(); }
  bool OnType1Config(const SConfigA4& record) override { return type1_.Add(record); }
  std::int32_t OnType1ConfigComplete() override { return type1_.AddTags(); }
  bool OnType1State(const SStateRecord& record) override { return type1_.Update(record); }
  void OnDisconnected(std::uint32_t quality, platform::FileTime server_now) override {
    type1_.UpdateState(quality, server_now);
    if (type2_ != nullptr) type2_->opcUpdateState2(quality, server_now);
  }
  bool OnPublish2(TChannel2& channel) override {
    return type2_ != nullptr && type2_->opcAddTag2(channel);
  }
  bool OnPush2(const TChannel2& channel) override {
    return type2_ != nullptr && type2_->opcAddValue2(channel);
  }
  std::int32_t ActiveTagCount() override { return opc_.ActiveTagCount(); }

 private:
  OpcService& opc_;
  TCorvidDataList& type1_;
  TType2Tags* type2_;
};

}  // namespace corvid
