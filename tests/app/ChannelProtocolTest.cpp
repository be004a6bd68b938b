#include "app/ChannelProtocol.h"
#include "app/CommandParser.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(ChannelProtocol, RequestsRoundTripThroughTheWireForm) {
    const TRequest command{TRequestType::CopyData, 1, R"({"command":"capture"})"};
    const std::string bytes = EncodeRequest(command);
    EXPECT_EQ(bytes.substr(0, 5), "QRV1C");
    TRequest read;
    ASSERT_EQ(ParseRequest(bytes, read), TParseResult::Complete);
    EXPECT_EQ(read.Type, TRequestType::CopyData);
    EXPECT_EQ(read.Param, 1u);
    EXPECT_EQ(read.Payload, command.Payload);

    ASSERT_EQ(ParseRequest(EncodeRequest({TRequestType::User, 0xDEADBEEF, {}}), read),
              TParseResult::Complete);
    EXPECT_EQ(read.Type, TRequestType::User);
    EXPECT_EQ(read.Param, 0xDEADBEEFu);
}

TEST(ChannelProtocol, PartialRequestsWaitAndGarbageIsRefusedEarly) {
    const std::string bytes = EncodeRequest({TRequestType::CopyData, 1, "{}"});
    TRequest read;
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_EQ(ParseRequest(bytes.substr(0, n), read), TParseResult::NeedMore) << n;
    EXPECT_EQ(ParseRequest("X", read), TParseResult::Invalid);
    EXPECT_EQ(ParseRequest("QRV2", read), TParseResult::Invalid);
    EXPECT_EQ(ParseRequest("QRV1Z", read), TParseResult::Invalid);
    EXPECT_EQ(ParseRequest(bytes + "!", read), TParseResult::Invalid);
    // A user message carries no payload; a command at most 64 KiB.
    std::string user = EncodeRequest({TRequestType::User, 1, {}});
    user[9] = 1;
    EXPECT_EQ(ParseRequest(user + "x", read), TParseResult::Invalid);
    EXPECT_EQ(
        ParseRequest(
            EncodeRequest({TRequestType::CopyData, 1, std::string(kMaxRequestPayload, 'a')}), read),
        TParseResult::Complete);
    const std::string tooLong =
        EncodeRequest({TRequestType::CopyData, 1, std::string(kMaxRequestPayload + 1, 'a')});
    EXPECT_EQ(ParseRequest(tooLong.substr(0, kRequestHeaderSize), read), TParseResult::Invalid);
}

TEST(CommandParser, OnlyTheTwoCommandWordsOfAnObject) {
    EXPECT_EQ(ParseCommand(R"({"command":"capture"})"), TCommand::Capture);
    EXPECT_EQ(ParseCommand(R"( { "other": [1, 2], "command" : "about" } )"), TCommand::About);
    EXPECT_EQ(ParseCommand(R"({"command":"Capture"})"), TCommand::None);
    EXPECT_EQ(ParseCommand(R"({"cmd":"capture"})"), TCommand::None);
    EXPECT_EQ(ParseCommand(R"({"command":["capture"]})"), TCommand::None);
    EXPECT_EQ(ParseCommand(R"({"command":null})"), TCommand::None);
    EXPECT_EQ(ParseCommand("[1,2]"), TCommand::None);
    EXPECT_EQ(ParseCommand(R"("capture")"), TCommand::None);
    EXPECT_EQ(ParseCommand("capture"), TCommand::None);
    EXPECT_EQ(ParseCommand(""), TCommand::None);
    EXPECT_EQ(ParseCommand(std::string("{\"command\":\"capture\"}\0junk", 27)), TCommand::None);
}
