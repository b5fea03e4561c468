// The owner-drawn menu family: a menu whose items the program draws. Each item carries a
// KiroMenuData record with its UTF-16 caption and its image; popups are KiroMenu objects of
// their own, owned by the menu that holds them; all menus of the process share one image list
// keyed by command id, the popup registry and the look settings.
//
// UI thread only: the process-wide state is plain static data without locks.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/cmenu.h"
#include "platform/gdi.h"
#include "platform/image_list.h"
#include "platform/menu_model.h"

class CToolBar;
struct BITMAPINFOHEADER;

// Hatch styles of a colour swatch (KiroMenu::CreateSwatchBitmap); -1 is a solid fill.
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// WM_MENUCHAR results: the high word tells the menu what to do with the low word's position.
constexpr LRESULT MNC_IGNORE = 0;
constexpr LRESULT MNC_CLOSE = 1;
constexpr LRESULT MNC_EXECUTE = 2;
constexpr LRESULT MNC_SELECT = 3;

// The record of one menu item, made and deleted by the menu only.
struct KiroMenuData {
    KiroMenuData() = default;
    ~KiroMenuData();
    KiroMenuData(const KiroMenuData&) = delete;
    KiroMenuData& operator=(const KiroMenuData&) = delete;

    // Frees the old caption; null leaves no caption, else an owned copy is kept.
    void SetWideCaption(const WCHAR* text);
    // 8-bit text (UTF-8, or the system code page's bytes) as the caption; null clears it.
    void SetCaption(const char* text);
    // The caption as UTF-8; empty when there is none.
    std::string GetCaption() const;

    WCHAR* m_caption = nullptr;         // owned, null: no caption
    int m_imageIndex = -1;              // index in m_ownImages (0 when the item has its own image)
    int m_globalImageIndex = -1;        // index in KiroMenu::s_images, -1 when none
    int m_ownImageId = -1;              // -1: no own image; else the bitmap id it came from (0: copied)
    UINT m_flags = 0;                   // the MF_ flags the item was put into the menu with
    UINT_PTR m_commandId = 0;           // command id; a popup item's HMENU; 0 for a separator
    int m_synced = 0;                   // claim mark while records are resynchronised
    CImageList* m_ownImages = nullptr;  // owned list holding the item's own image
};

// The item query record of the painters: all zero but its size.
struct MenuItemInfo : MENUITEMINFOW {
    MenuItemInfo() { cbSize = sizeof(MENUITEMINFOW); }
};

class KiroMenu : public CMenu {
public:
    KiroMenu() = default;
    ~KiroMenu() override;

    const char* GetRuntimeClassName() const override { return "KiroMenu"; }

    // Releases everything the menu owns (records, popup objects, its own check-mark images)
    // and destroys its handle; the result is that of destroying the handle, FALSE without one.
    // The loaded mark, image size, background and check-mark ids stay.
    BOOL DestroyMenu() override;

    // The menu object of the popup at the position: the popup's KiroMenu when the family made
    // it, a temporary CMenu for any other popup; null when the position holds no popup.
    CMenu* GetSubMenu(int position) const;

    // --- process-wide look ---------------------------------------------------------------
    // The operating-system class: 0 9x before version 4, 1 a later NT system, 2 other 9x,
    // 3 9x 4.10, 4 9x 4.90, 5 NT 4.x, 6 NT 5.0, 7 NT 5.1.
    static int DetectShellType();
    // One draw mode for every system: 1 flat, any other value classic.
    static void SetDrawMode(int mode);
    static BOOL IsRecognisedShell();
    static BOOL IsClassicTheme();  // read once per process
    static BOOL IsXpThemed();
    static int GetActiveDrawMode();
    static BOOL IsFlatDrawMode();
    static BOOL GetActiveSelectDisabled();

    // --- colours and glyphs ----------------------------------------------------------------
    static COLORREF BlendTowardWhite(COLORREF colour, double factor);
    static COLORREF ScaleTowardBlack(COLORREF colour, double factor);
    void DrawCheckGlyph(wxDC& dc, int x, int y, COLORREF colour);
    void DrawRadioGlyph(wxDC& dc, int x, int y, COLORREF colour);

    // --- settings of this menu -------------------------------------------------------------
    void SetImageSize(int width, int height);
    void SetImageBackground(COLORREF colour);
    void ClearImageBackground();
    BOOL GetDibDisabledImages() const;
    void SetDibDisabledImages();
    void ClearDibDisabledImages();

    // --- records across the popup tree -----------------------------------------------------
    // The menu holding a plain item with the command, and its position there; null and -1.
    KiroMenu* FindOwner(UINT commandId, int& position);
    // As FindOwner, skipping every (menus[j], positions[j]) pair.
    KiroMenu* FindNextOwner(UINT commandId, int& position, std::vector<KiroMenu*>& menus, std::vector<int>& positions);
    KiroMenuData* FindRecordByCommand(UINT commandId);
    KiroMenuData* FindRecordByCaption(const WCHAR* caption);
    // Pads the text before the tab of each caption so the accelerators line up. The width
    // function measures a UTF-8 text in the menu font; the overload without one measures with
    // the system's menu font (without a GUI application, in characters).
    void AlignAccelerators();
    void AlignAccelerators(const std::function<int(const std::string&)>& textWidth);
    // A new record with the caption, flags and command id, put on the item with ModifyMenu.
    KiroMenuData* AttachNewRecord(UINT position, UINT flags, UINT_PTR commandId, const std::string& caption);
    // Rebuilds m_items from the menu's items: one record per position, in position order.
    void Resync();
    static void ResyncMenu(CMenu* menu);
    void SetSyncMarks(int value);
    KiroMenuData* ClaimRecord(UINT_PTR commandId);
    // The record that the item at the position carries, now claimed for the command; null when
    // the item carries none of this menu's records or that one is claimed already.
    KiroMenuData* ClaimCarriedRecord(UINT position, UINT_PTR commandId);
    void DeleteUnsyncedRecords();

    // --- removing items and finding popups --------------------------------------------------
    // An item by position (MF_BYPOSITION) or by command id, searched through the popup tree.
    // Its record goes with it; a popup entry takes its whole popup along (items, records,
    // registry entries and object). The result is that of RemoveMenu (resp. DeleteMenu).
    BOOL RemoveItem(UINT item, UINT flags);
    BOOL DeleteItem(UINT item, UINT flags);
    // The item whose record has the caption, and with neighbours 1 or 2 the item before it,
    // with 3 the two items before it. The position found, or -1 (nothing taken out).
    int RemoveItemByCaption(const char* caption, int neighbours);
    int RemoveItemByCaption(const WCHAR* caption, int neighbours);
    int DeleteItemByCaption(const char* caption, int neighbours);
    int DeleteItemByCaption(const WCHAR* caption, int neighbours);
    // The family popup of the first record with the caption in the tree; null when none.
    KiroMenu* FindPopupByCaption(const char* caption);
    KiroMenu* FindPopupByCaption(const WCHAR* caption);
    // The popup of the first plain text entry whose menu string is the text; null when none.
    CMenu* FindPopupByText(const char* text);
    // The index of the first record with exactly the caption; -1 when none, and when every
    // item of the menu is a popup.
    int FindItemPosition(const char* caption);
    int FindItemPosition(const WCHAR* caption);

    // --- measuring and drawing ----------------------------------------------------------------
    // The owner-draw requests of the menu's items. DRAWITEMSTRUCT carries the item's device
    // context in hDC, the menu's handle in hwndItem and the item's record in itemData. DrawItem
    // paints flat when the flat draw mode is in force and the device has no palette, else
    // classic; an item without a record is painted plain, without image or caption.
    void DrawItem(DRAWITEMSTRUCT* item) override;
    void MeasureItem(MEASUREITEMSTRUCT* item) override;
    void DrawItemClassic(DRAWITEMSTRUCT* item);
    void DrawItemFlat(DRAWITEMSTRUCT* item);
    static BOOL IsPaletteDevice(const wxDC& dc);  // 8 bits per pixel or fewer
    // WM_MENUCHAR: the first position whose caption holds "&" and the character (case aside),
    // with MNC_EXECUTE in the high word; 0 when none, for a menu of another class and for a
    // menu type without MF_POPUP.
    static LRESULT FindMenuChar(UINT ch, UINT flags, CMenu* menu);
    static BOOL IsOwnedPopup(CMenu* menu);  // the handle is one of s_popupHandles
    static BOOL IsOwnedPopup(HMENU menu);

    // --- item images ---------------------------------------------------------------------------
    // Bitmaps are wxImage pixels. "Copies are made" while the flat look is in force (and the
    // flat image effects are on): an image entering a list is then followed by its faded and its
    // shadow copy.
    // Gives each button's command that the menu holds its own list of the bitmap's images (the
    // button's image number as m_imageIndex) and makes the item owner-drawn with its record.
    void SetToolbarItemImages(CToolBar* toolbar, UINT bitmapId);
    // TRUE when the toolbar resource has a button for the command; a button image number above 0
    // is stored in *imageOffset, which otherwise keeps what the caller put there.
    BOOL GetToolbarImageOffset(UINT commandId, UINT toolbarId, int* imageOffset);
    // Adds the bitmap resource's images (a strip is cut at the list's image width), masked with
    // the transparent colour; with copies, the faded and shadow copies of image 0 after them.
    BOOL AddBitmapToImageList(CImageList* list, UINT bitmapId);
    // A bitmap resource with exactly 16 colours, its colour table mapped to the system colours;
    // an invalid image for any other.
    static wxImage LoadSysColorBitmap(UINT bitmapId);
    static std::uint16_t DibColorCount(const BITMAPINFOHEADER* header);
    // Puts image `index` of the list into s_images as the command's image (in place of the one
    // it has); its index there, -1 when the list has no such image.
    int AddToGlobalImageList(CImageList* list, int index, UINT commandId);
    int FindGlobalImage(UINT commandId);  // first index in s_images held for it, -1 when none
    BOOL HasImageCopies(int index);       // faded copy at index + 1, shadow copy at index + 2
    // Image `index` of the list at the menu's image size, its transparent parts in the button
    // face colour (the button face throughout when the list has no such image). TRUE.
    BOOL GetImageBitmap(CImageList* list, int index, wxImage* bitmap);
    // The image into the (re-created) target at 0, with copies the faded at 1 and the shadow at
    // 2; FALSE, with nothing created, for a null list, a negative index or an image the source
    // does not have.
    BOOL CopyImageToList(CImageList* source, int index, CImageList* target);
    void FadeBitmap(wxImage* bitmap);               // every pixel but the button face blended toward white
    void ShadowBitmap(wxImage* bitmap);             // every pixel but the button face in the shadow colour
    void AddEffectCopiesOfFirst(CImageList* list);  // its first image's faded and shadow copies
    // The disabled picture of the area (srcX, srcY, width, height) of the bitmap, painted at
    // (x, y) over the background colour: the figure (neither button face nor highlight colour)
    // in the shadow colour with its highlight edge one pixel right and below. Overwrites the
    // bitmap's area (0, 0, width, height): pass a scratch copy.
    void DrawEmbossedImage(wxDC& dc, int x, int y, int width, int height, wxImage* bitmap, int srcX, int srcY,
                           COLORREF background);
    // The same from a one-bit picture of the area (dark pixels are the figure); the bitmap stays.
    void DrawEmbossedImageDib(wxDC& dc, int x, int y, int width, int height, const wxImage& bitmap, int srcX, int srcY,
                              COLORREF background);
    BOOL DrawClassicCheckBox(wxDC& dc, const CRect& rect, BOOL selected, BOOL radio);
    BOOL DrawFlatCheckBox(wxDC& dc, const CRect& rect, BOOL radio, const COLORREF& frameColour);
    // A bitmapWidth by bitmapHeight image showing a width by height rectangle (centred on the
    // menu background when the sizes differ) framed in border, filled with fill: solid for
    // hatchStyle -1, else hatched (HS_*).
    void CreateSwatchBitmap(wxImage* bitmap, int width, int height, int bitmapWidth, int bitmapHeight, COLORREF fill,
                            COLORREF border, int hatchStyle);
    // The number of leading top-level entries of a loaded menu that have no record.
    int GetMenuBarOffset();
    // Puts the record captions back on the top-level popup entries (as plain text entries).
    void SyncMenuBarPopups();
    // m_imageBackground when set, else the current button face colour.
    COLORREF ImageTransparentColour() const;

    // --- loading a menu and editing items ----------------------------------------------------
    // Captions come as 8-bit text (converted as KiroMenuData::SetCaption does) or UTF-16; a null
    // caption leaves a new record without one and keeps that of a modified one. Every item added
    // is owner-drawn with its record; command id 0 makes an owner-drawn separator. For a popup
    // (MF_POPUP) the id is the popup's handle. A toolbar id of 0 or more takes the item's image
    // from that toolbar resource into s_images; a negative one the image s_images holds for the
    // command, if any. A bitmap (wxImage) enters through a list of the menu's image size.
    // The menu template resource (standard form, version 0): the top level as plain text
    // entries, popups of owner-drawn items. FALSE, with the menu unchanged, when the resource is
    // missing or cannot be read whole.
    virtual BOOL LoadMenu(const char* resourceName);
    BOOL LoadMenu(UINT resourceId);
    BOOL AppendItem(const char* caption, UINT flags, UINT_PTR id, int toolbarId);
    BOOL AppendItem(const WCHAR* caption, UINT flags, UINT_PTR id, int toolbarId);
    // With an image list: the item gets image `index` of it as an image of its own.
    BOOL AppendItem(const char* caption, UINT flags, UINT_PTR id, CImageList* images, int index);
    BOOL AppendItem(const WCHAR* caption, UINT flags, UINT_PTR id, CImageList* images, int index);
    BOOL AppendItem(UINT flags, UINT_PTR id, const char* caption, int toolbarId);
    BOOL AppendItem(UINT flags, UINT_PTR id, const WCHAR* caption, int toolbarId);
    BOOL AppendItem(UINT flags, UINT_PTR id, const char* caption, CImageList* images, int index);
    BOOL AppendItem(UINT flags, UINT_PTR id, const WCHAR* caption, CImageList* images, int index);
    BOOL AppendItem(UINT flags, UINT_PTR id, const char* caption, const wxImage* bitmap);
    BOOL AppendItem(UINT flags, UINT_PTR id, const WCHAR* caption, const wxImage* bitmap);
    // A new popup of the family, owned by this menu.
    KiroMenu* AppendPopup(const char* caption);
    KiroMenu* AppendPopup(const WCHAR* caption);
    // The position is a position with MF_BYPOSITION (-1 or past the end: at the end), else the
    // command id of the item to insert before, anywhere in the tree (FALSE when none has it).
    // With an image list, the image goes into s_images.
    BOOL InsertItem(UINT position, const char* caption, UINT flags, UINT_PTR id, int toolbarId);
    BOOL InsertItem(UINT position, const WCHAR* caption, UINT flags, UINT_PTR id, int toolbarId);
    BOOL InsertItem(UINT position, const char* caption, UINT flags, UINT_PTR id, CImageList* images, int index);
    BOOL InsertItem(UINT position, const WCHAR* caption, UINT flags, UINT_PTR id, CImageList* images, int index);
    BOOL InsertItem(UINT position, UINT flags, UINT_PTR id, const char* caption, int toolbarId);
    BOOL InsertItem(UINT position, UINT flags, UINT_PTR id, const WCHAR* caption, int toolbarId);
    BOOL InsertItem(UINT position, UINT flags, UINT_PTR id, const char* caption, CImageList* images, int index);
    BOOL InsertItem(UINT position, UINT flags, UINT_PTR id, const WCHAR* caption, CImageList* images, int index);
    BOOL InsertItem(UINT position, UINT flags, UINT_PTR id, const char* caption, const wxImage* bitmap);
    BOOL InsertItem(UINT position, UINT flags, UINT_PTR id, const WCHAR* caption, const wxImage* bitmap);
    // Every item of the tree with the command gets the caption and the image (in s_images);
    // the result is that of modifying the first such item (FALSE when none has it; a record is
    // left at the end of m_items then).
    BOOL ModifyItem(const char* caption, UINT id, int toolbarId);
    BOOL ModifyItem(const WCHAR* caption, UINT id, int toolbarId);
    BOOL ModifyItem(const char* caption, UINT id, CImageList* images, int index);
    BOOL ModifyItem(const WCHAR* caption, UINT id, CImageList* images, int index);
    BOOL ModifyItem(const char* caption, UINT id, const wxImage* bitmap);
    BOOL ModifyItem(const WCHAR* caption, UINT id, const wxImage* bitmap);
    // The record with findCaption gets the caption and the bitmap resource as its own image
    // (none for a negative id); the menu item is not touched. FALSE when no record has it.
    BOOL ModifyItem(const char* caption, const char* findCaption, int bitmapId);
    BOOL ModifyItem(const WCHAR* caption, const WCHAR* findCaption, int bitmapId);
    // A colour swatch (CreateSwatchBitmap, the menu's image size unless swatchSize) as the image.
    BOOL ModifyItemSwatch(const char* caption, UINT id, COLORREF fill, COLORREF border, int hatchStyle,
                          const wxSize* swatchSize);
    BOOL ModifyItemSwatch(const WCHAR* caption, UINT id, COLORREF fill, COLORREF border, int hatchStyle,
                          const wxSize* swatchSize);
    // The record's caption (UTF-8) by position (MF_BYPOSITION) or by command id in the tree.
    BOOL GetItemText(UINT item, std::string& text, UINT flags);
    BOOL SetItemText(UINT item, const std::string& text, UINT flags);
    // The two check-mark bitmap resources into a list of the menu's own; nothing changes when
    // either id is 0 or less, no list is kept when either cannot be loaded.
    void SetCheckMarkImages(UINT checkMarkId, UINT selectedCheckMarkId);
    // The toolbar resource's images for the items of its commands (the menu's image size grows
    // to the toolbar's); FALSE when the toolbar or its bitmap cannot be loaded.
    BOOL LoadToolbarImages(UINT toolbarId);
    BOOL LoadToolbarImages(const UINT* toolbarIds, int count);  // TRUE when every one loaded

    // --- members -----------------------------------------------------------------------------
    std::vector<KiroMenuData*> m_items;  // owned; record i belongs to position i
    std::vector<HMENU> m_popupHandles;   // popups held; their KiroMenu objects are owned
    int m_imageWidth = 16;
    int m_imageHeight = 15;
    COLORREF m_imageBackground = RGB(192, 192, 192);
    BOOL m_hasImageBackground = FALSE;
    BOOL m_dibDisabledImages = FALSE;
    CImageList* m_checkMarkImages = nullptr;  // 0: checked, 1: checked under the highlight
    BOOL m_checkMarkImagesBorrowed = FALSE;   // the parent's; never deleted here
    int m_checkMarkSelectedId = -1;
    int m_checkMarkId = -1;
    BOOL m_loaded = FALSE;

    // --- process-wide state (built at static construction, in this order) -----------------
    static CImageList s_images;
    static std::vector<int> s_imageCommandIds;
    static int s_shellType;
    static std::vector<HMENU> s_popupHandles;
    static int s_drawModeXp;
    static int s_drawModeOther;
    static const BOOL s_selectDisabledClassic;
    static const BOOL s_selectDisabledFlat;
    static const BOOL s_flatImageEffects;
    static BOOL s_themeRead;
    static BOOL s_classicTheme;

private:
    BOOL ReleaseMenu();
    void RecolourFigure(wxImage* bitmap, const std::function<COLORREF(COLORREF)>& colourOf);
    static UINT ApplyFlagRule(UINT flags, UINT_PTR id);
    // A popup item's submenu joins the popups of this menu and of the process.
    void NotePopup(UINT flags, UINT_PTR id);
    static KiroMenuData* NewRecord(const WCHAR* caption);
    void SetToolbarSourceImage(KiroMenuData* record, UINT commandId, int toolbarId);
    // The toolbar's image for the command (a toolbar id of 0 or more), else the one s_images holds.
    void SetToolbarOrSharedImage(KiroMenuData* record, UINT commandId, int toolbarId);
    // Where an insert by position goes: -1 and positions past the last item mean the end.
    UINT InsertionPoint(UINT position) const;
    // The steps every add operation shares once its flags are ruled and its place settled: the
    // popup is noted, a record with the caption goes in at record index `slot` (the end when past
    // it) and gets its image, flags and command, and the item goes into the menu carrying it,
    // inserted before `position` or, without one, appended.
    BOOL AddItemWithRecord(std::optional<UINT> position, std::size_t slot, const WCHAR* caption, UINT flags,
                           UINT_PTR id, const std::function<void(KiroMenuData*)>& setImage);
    BOOL FillFromBitmap(CImageList& list, const wxImage& bitmap);
    BOOL ModifyEveryItem(const WCHAR* caption, UINT id, const std::function<void(KiroMenuData*)>& setImage);
    BOOL TakeOutItem(UINT item, UINT flags, bool destroy);
    int TakeOutItemByCaption(const WCHAR* caption, int neighbours, bool destroy);
    void DrawDisabledImage(wxDC& dc, CImageList* list, int index, int x, int y, COLORREF background);
    KiroMenu* KiroSubMenu(int position) const;
    // The record of the plain item or separator at the position; m_items.end() when none.
    std::vector<KiroMenuData*>::iterator RecordOfItemAt(UINT position, UINT_PTR commandId);
    KiroMenu* FindOwnerSkipping(UINT commandId, int& position, const std::vector<KiroMenu*>* menus,
                                const std::vector<int>* positions);
};
