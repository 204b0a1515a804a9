// TOpcLinkBridge: the OPC side of the Corvid link. It receives what the link reports (type-1
// configuration records and states, the end of a session) and hands it to the OPC items: the
// type-1 tag table and, with protocol 2, the type-2 items.
#pragma once

#include "link/linksink.h"
#include "opc/opcservice.h"
#include "opc/type1tags.h"

namespace corvid {

class TOpcLinkBridge final : public TLinkSink {
 public:
  TOpcLinkBridge(OpcService& opc, TCorvidDataList& type1) : opc_(opc), type1_(type1) {}

  std::int32_t Type1Count() override { return type1_.Count(); }
  bool OnType1Config(const SConfigA4& record) override { return type1_.Add(record); }
  std::int32_t OnType1ConfigComplete() override { return type1_.AddTags(); }
  bool OnType1State(const SStateRecord& record) override { return type1_.Update(record); }
  void OnDisconnected(std::uint32_t quality, platform::FileTime server_now) override {
    type1_.UpdateState(quality, server_now);
  }
  std::int32_t ActiveTagCount() override { return opc_.ActiveTagCount(); }

 private:
  OpcService& opc_;
  TCorvidDataList& type1_;
};

}  // namespace corvid
