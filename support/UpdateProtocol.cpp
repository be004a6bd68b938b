#include "support/UpdateProtocol.h"

#include "support/LocaleName.h"
#include "support/Strings.h"

#include <cstdio>

namespace quorvel {

namespace {

std::u16string Field(const std::u16string& text, const std::u16string& name) {
    return UnescapeJSONString(ExtractBetween(text, u"\"" + name + u"\":\"", u"\"", false));
}

struct TTexts {
    const char* Code;
    const char16_t* Sentences[3];
    const char16_t* Yes;
    const char16_t* No;
};

const TTexts kTexts[] = {
    {"ko",
     {u"업데이트가 정보가 있습니다.", u"안정적으로 사용하기 위해 업데이트를 하시길 권장합니다.",
      u"다운로드 받으시겠습니까?"},
     u"예",
     u"아니오"},
    {"ja",
     {u"このプログラムがアップデートされました。",
      u"安定的に使用するために新しくダウンロード·実行することをお勧めします。",
      u"ダウンロードしますか。"},
     u"はい",
     u"いいえ"},
    {"zh", {u"该程序已更新。", u"建议下载并执行新程序以稳定使用。", u"您要下载吗？"}, u"是", u"否"},
    {"de",
     {u"Dieses Programm ist aktualisiert worden.",
      u"Es wird empfohlen, es herunterzuladen und neu auszuführen, um es stabil zu verwenden.",
      u"Möchten Sie es herunterladen?"},
     u"Ja",
     u"Nein"},
    {"ru",
     {u"Данная программа была обновлена.",
      u"Рекомендуется скачать и выполнить новое для стабильного использования.",
      u"Вы хотите загрузить ее?"},
     u"Да",
     u"Нет"},
    {"it",
     {u"È disponibile una nuova versione del programma.",
      u"Ti suggeriamo di scaricare ed aggiornare il programma.",
      u"Vuoi scaricare la nuova versione del programma?"},
     u"Sì",
     u"No"},
    {"fr",
     {u"Ce programme a été mis à jour.",
      u"Il est recommandé de télécharger et d'exécuter la nouvelle version pour une "
      u"utilisation stable.",
      u"Voulez-vous le télécharger?"},
     u"Oui",
     u"Non"},
    {nullptr,
     {u"This program has been updated.",
      u"It is recommended to download and execute new for stable use.",
      u"Do you want to download it?"},
     u"Yes",
     u"No"},
};

} // namespace

std::string NewInstallationId(std::mt19937& Random, const std::tm& LocalNow) {
    std::uniform_int_distribution<unsigned> big(0, 0x7FFFFFFE);
    std::uniform_int_distribution<unsigned> small(0, 0xFFFE);
    const unsigned first = big(Random);
    const unsigned middle = small(Random);
    const unsigned last = big(Random);
    char text[64];
    std::snprintf(text, sizeof text, "%08X%02d%02d%02d%04X%02d%02d%02d%08X", first,
                  LocalNow.tm_year % 100, LocalNow.tm_mon + 1, LocalNow.tm_mday, middle,
                  LocalNow.tm_hour, LocalNow.tm_min, LocalNow.tm_sec, last);
    return text;
}

std::string UpdateLanguageOf(const std::string& LocaleName) {
    return LanguageOfLocale(LocaleName).substr(0, 2);
}

std::u16string UpdateText(int Kind, const std::string& Language) {
    const TTexts* texts = kTexts;
    while (texts->Code != nullptr && Language != texts->Code)
        ++texts;
    switch (Kind) {
    case 0:
        return std::u16string(texts->Sentences[0]) + u"\r\r" + texts->Sentences[1] + u"\r\r" +
               texts->Sentences[2];
    case 1:
        return texts->Yes;
    case 2:
        return texts->No;
    default:
        return {};
    }
}

THeaders CheckHeaders(const std::string& Version, const std::string& Language, bool Debug,
                      const std::string& InstallationId) {
    return {{"User-Version", Version},
            {"User-Language", Language},
            {"User-Debug", Debug ? "true" : "false"},
            {"User-Union", InstallationId}};
}

THeaders HoldHeaders(const std::string& Version) {
    return {{"User-Version", Version}, {"User-Command", "hold"}};
}

TUpdateReply ParseUpdateReply(const std::u16string& Reply) {
    TUpdateReply reply;
    reply.Update = Field(Reply, u"update");
    const std::u16string info = ExtractBetween(Reply, u"\"info\":{", u"}", false);
    reply.Style = Field(info, u"style");
    reply.Text = Field(info, u"text");
    reply.Flag = Field(info, u"flag");
    reply.Url = Field(info, u"url");
    return reply;
}

std::u16string DownloadUrlOf(const std::u16string& Reply) {
    return Field(Reply, u"update");
}

} // namespace quorvel
