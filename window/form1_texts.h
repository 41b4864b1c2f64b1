// The window's fixed texts: list entries, placeholders, messages and file names, used exactly as
// written.
#pragma once

#include <array>
#include <string_view>

namespace form1_texts {

inline constexpr std::string_view kCaption = "Tapwing";
inline constexpr std::string_view kLegend = "F7获取坐标,F5开始,F6结束";
inline constexpr std::string_view kPlaceholderX = "X坐标";
inline constexpr std::string_view kPlaceholderY = "Y坐标";

// Combo2, in index order. The run recognises an action by its exact text.
inline constexpr std::array<std::string_view, 7> kActions = {
    "无动作", "左键单击", "左键双击", "右键单击", "中键单击", "滚轮向上", "滚轮向下"};

// Combo3, in index order: "延时", the period in milliseconds, "MS".
inline constexpr std::array<std::string_view, 7> kDelays = {
    "延时10MS", "延时50MS", "延时100MS", "延时500MS", "延时1000MS", "延时5000MS", "延时10000MS"};

// What accessibility tools call the two lists (the picture box goes by the caption).
inline constexpr std::string_view kActionListName = "动作";
inline constexpr std::string_view kDelayListName = "延时";

// The files that ship beside the program.
inline constexpr std::string_view kComponentFile = "korva.dll";
inline constexpr std::string_view kSkinFile = "Korva.Skin";
inline constexpr std::string_view kBannerFile = "Tapwing.PNG";

inline constexpr std::string_view kContact = "korva@tapwing.example";
inline constexpr std::string_view kAboutTitle = "作者:Korva";
inline constexpr std::string_view kHintTitle = "提示:";
inline constexpr std::string_view kNotANumber = "请输入正确的数值";
inline constexpr std::string_view kNoCoordinates = "坐标不能为空";
inline constexpr std::string_view kPointerNotReported = "桌面没有告诉 Tapwing 指针的位置: 请移动一下鼠标, 再按 F7";

}  // namespace form1_texts
