// The character code tables ESC t chooses: the upper half (80-FF) of each
// table the printer draws, as Unicode, from the tables' published
// definitions. U+FFFD marks a byte the table leaves undefined.
#include "sim/codetables.h"

#include <QString>

namespace sim {

namespace {

const CodeTable kTables[] = {
    {0, "PC437",
     u"ÇüéâäàåçêëèïîìÄÅ"
     u"ÉæÆôöòûùÿÖÜ¢£¥₧ƒ"
     u"áíóúñÑªº¿⌐¬½¼¡«»"
     u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
     u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
     u"╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
     u"αßΓπΣσµτΦΘΩδ∞φε∩"
     u"≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
    {1, "Katakana", nullptr}, // its half-width kana are not drawn
    {2, "PC850",
     u"ÇüéâäàåçêëèïîìÄÅ"
     u"ÉæÆôöòûùÿÖÜø£Ø×ƒ"
     u"áíóúñÑªº¿®¬½¼¡«»"
     u"░▒▓│┤ÁÂÀ©╣║╗╝¢¥┐"
     u"└┴┬├─┼ãÃ╚╔╩╦╠═╬¤"
     u"ðÐÊËÈıÍÎÏ┘┌█▄¦Ì▀"
     u"ÓßÔÒõÕµþÞÚÛÙýÝ¯´"
     u"\u00AD±‗¾¶§÷¸°¨·¹³²■\u00A0"},
    {3, "PC860",
     u"ÇüéâãàÁçêÊèÍÔìÃÂ"
     u"ÉÀÈôõòÚùÌÕÜ¢£Ù₧Ó"
     u"áíóúñÑªº¿Ò¬½¼¡«»"
     u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
     u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
     u"╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
     u"αßΓπΣσµτΦΘΩδ∞φε∩"
     u"≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
    {4, "PC863",
     u"ÇüéâÂà¶çêëèïî‗À§"
     u"ÉÈÊôËÏûù¤ÔÜ¢£ÙÛƒ"
     u"¦´óú¨¸³¯Î⌐¬½¼¾«»"
     u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
     u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
     u"╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
     u"αßΓπΣσµτΦΘΩδ∞φε∩"
     u"≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
    {5, "PC865",
     u"ÇüéâäàåçêëèïîìÄÅ"
     u"ÉæÆôöòûùÿÖÜø£Ø₧ƒ"
     u"áíóúñÑªº¿⌐¬½¼¡«¤"
     u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
     u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
     u"╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
     u"αßΓπΣσµτΦΘΩδ∞φε∩"
     u"≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
    {16, "WPC1252",
     u"€\uFFFD‚ƒ„…†‡ˆ‰Š‹Œ\uFFFDŽ\uFFFD"
     u"\uFFFD‘’“”•–—˜™š›œ\uFFFDžŸ"
     u"\u00A0¡¢£¤¥¦§¨©ª«¬\u00AD®¯"
     u"°±²³´µ¶·¸¹º»¼½¾¿"
     u"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏ"
     u"ÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß"
     u"àáâãäåæçèéêëìíîï"
     u"ðñòóôõö÷øùúûüýþÿ"},
    {17, "PC866",
     u"АБВГДЕЖЗИЙКЛМНОП"
     u"РСТУФХЦЧШЩЪЫЬЭЮЯ"
     u"абвгдежзийклмноп"
     u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
     u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
     u"╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
     u"рстуфхцчшщъыьэюя"
     u"ЁёЄєЇїЎў°∙·√№¤■\u00A0"},
    {18, "PC852",
     u"ÇüéâäůćçłëŐőîŹÄĆ"
     u"ÉĹĺôöĽľŚśÖÜŤťŁ×č"
     u"áíóúĄąŽžĘę¬źČş«»"
     u"░▒▓│┤ÁÂĚŞ╣║╗╝Żż┐"
     u"└┴┬├─┼Ăă╚╔╩╦╠═╬¤"
     u"đĐĎËďŇÍÎě┘┌█▄ŢŮ▀"
     u"ÓßÔŃńňŠšŔÚŕŰýÝţ´"
     u"\u00AD˝˛ˇ˘§÷¸°¨˙űŘř■\u00A0"},
    {19, "PC858",
     u"ÇüéâäàåçêëèïîìÄÅ"
     u"ÉæÆôöòûùÿÖÜø£Ø×ƒ"
     u"áíóúñÑªº¿®¬½¼¡«»"
     u"░▒▓│┤ÁÂÀ©╣║╗╝¢¥┐"
     u"└┴┬├─┼ãÃ╚╔╩╦╠═╬¤"
     u"ðÐÊËÈ€ÍÎÏ┘┌█▄¦Ì▀"
     u"ÓßÔÒõÕµþÞÚÛÙýÝ¯´"
     u"\u00AD±‗¾¶§÷¸°¨·¹³²■\u00A0"},
};

} // namespace

const CodeTable* codeTable(int number)
{
    for (const CodeTable& t : kTables)
        if (t.number == number)
            return &t;
    return nullptr;
}

std::string codeTableGlyph(int number, uint8_t byte)
{
    const CodeTable* t = codeTable(number);
    if (byte < 0x80 || t == nullptr || t->upper == nullptr || t->upper[byte - 0x80] == u'\uFFFD')
        return {};
    return QString(QChar(t->upper[byte - 0x80])).toStdString();
}

} // namespace sim
